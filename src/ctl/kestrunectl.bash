# bash completion for kestrunectl. The word lists come from kestrunectl
# itself (--complete), so key and effect names follow the program and the
# user's language file.

_kestrunectl() {
  local cur prev words cword
  _init_completion 2>/dev/null || {
    cur=${COMP_WORDS[COMP_CWORD]}
    prev=${COMP_WORDS[COMP_CWORD-1]}
    words=("${COMP_WORDS[@]}")
    cword=$COMP_CWORD
  }
  local prog=${words[0]}
  local -a args=()
  local i
  for ((i = 1; i < cword; i++)); do
    [[ ${words[i]} == --simulate ]] || args+=("${words[i]}")
  done
  local list=""
  if ((${#args[@]} == 0)); then
    list="$("$prog" --complete commands 2>/dev/null) --help --simulate"
  else
    local verb=${args[0]} n=${#args[@]}
    case $verb in
      profile) ((n == 1)) && list="1 2 3 4 --help" ;;
      export | import | dump)
        if ((n == 1)); then
          compopt -o filenames 2>/dev/null
          COMPREPLY=($(compgen -f -- "$cur"))
          return
        fi
        [[ $verb == dump ]] && list="--json"
        ;;
      lighting)
        case $prev in
          --profile) list="1 2 3 4" ;;
          effect) list=$("$prog" --complete effects 2>/dev/null) ;;
          brightness | speed) list="0 1 2 3 4" ;;
          colour | color) list="" ;;
          *) list="effect brightness speed colour --profile --help" ;;
        esac
        ;;
      assign)
        case $n in
          1) list=$("$prog" --complete assignable 2>/dev/null) ;;
          2) list="single media function macro default" ;;
          3)
            case $prev in
              single) list=$("$prog" --complete keys 2>/dev/null) ;;
              media) list=$("$prog" --complete media 2>/dev/null) ;;
              function) list=$("$prog" --complete functions 2>/dev/null) ;;
            esac
            ;;
        esac
        ;;
      *) list="--help" ;;
    esac
  fi
  COMPREPLY=($(compgen -W "$list" -- "$cur"))
}
complete -F _kestrunectl kestrunectl
