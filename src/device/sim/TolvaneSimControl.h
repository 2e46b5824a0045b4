// clang-format off
/* Control interface of the simulated keyboard (libTolvaneSim.so).
 *
 * Tests in the same process resolve TolvaneSimControl with dlsym; the
 * kestrune-sim tool reaches a running simulated keyboard over a local socket
 * that Init opens and End closes. Both run the same text commands.
 *
 * Socket: $KESTRUNE_SIM_SOCKET when set ("off" = no socket), else
 * kestrune-sim.sock in the user's private runtime folder: $XDG_RUNTIME_DIR when
 * it is the user's alone (owned by the user, mode 0700, not a symbolic link,
 * short enough for a socket address), else ~/.cache/kestrune-runtime (created
 * 0700, checked the same way); never a shared folder such as /tmp. No socket
 * when neither qualifies. The socket is 0600; each end checks that the other
 * runs as the same user and refuses it otherwise.
 * Protocol: the client sends one command line ending in '\n'; the keyboard
 * answers with the result number on the first line, then the reply text, and
 * closes the connection.
 *
 * Environment, read by Init:
 *   KESTRUNE_SIM_STATE=<file>     state file (default: $XDG_DATA_HOME or ~/.local/share,
 *                                 then "Z-ORMIT M350RGB/simulated-keyboard.bin")
 *   KESTRUNE_SIM_LATENCY_US=<us>  time one report takes each way (default 1000)
 *   KESTRUNE_SIM_PRESENT=0|1      whether the keyboard is plugged in at Init
 *   KESTRUNE_CAPTURE=<file>       append every report as one line: microseconds since
 *                                 Init, '>' (host to keyboard) or '<', LED|CONS|CTRL,
 *                                 the bytes as space-separated upper-case hex
 *
 * Commands (numbers are decimal or 0x-prefixed hexadecimal):
 *   help                          this list
 *   status                        present, current profile, latency, macro space, files
 *   profile-key                   next profile into settings byte 10, code 1025 on 'CONS'
 *   g-bank                        the G-bank key: code 767 on 'CONS'
 *   factory-reset                 the keyboard's own reset: factory memory, code 1026
 *   activity [on|off]             code 6161 (on) or 6160 (off) on 'CONS'; without
 *                                 argument 6161, then 6160 20 ms later
 *   unplug | plug                 presence change: kind 0 with the new count on every
 *                                 registration of the 'CTRL' interface
 *   dump [<area>|lighting]        memory as hex, 16 bytes a line, labelled by area; then
 *                                 the lighting of the four profiles (below). With an area
 *                                 or "lighting", only that part
 *   read <area> [<offset> <length>]  bytes as one run of upper-case hex digits
 *   write <area> <offset> <hex>   store bytes directly (no event, no report)
 *   macro-space <units>           settings byte 11 (units of 128 bytes); resizes the macro area
 *   effects [<codes>|default|none]  show or set the effect codes the keyboard offers in
 *                                 settings bytes 12-43: up to 32 codes 0-255 separated by
 *                                 commas and no spaces ("1,4,20"), written to the slots in
 *                                 order, the rest emptied (0); default 1-18 and 20-23; none
 *                                 empties all. Shown the same way, up to the last code that
 *                                 is not 0. Bad input changes nothing. The host cannot
 *                                 write these bytes; factory-reset keeps them, reset restores
 *                                 the default
 *   reset                         factory memory, LED report 05 02, no faults, counters 0,
 *                                 echo on; no event
 *   fault <kind> <n>|every [<ms>] a fault on the n-th 'CTRL' request sent from now, or on
 *                                 every one. Kinds: no-reply (request lost), wrong-command
 *                                 (reply's command byte XOR 0x80), status-ff, status-fe
 *                                 (reply with that status), unplug (after the n-th request
 *                                 was answered), slow <n> <ms> (reply <ms> late). Only slow
 *                                 and unplug let the request take effect.
 *   fault clear                   disarm all faults; "fault" alone lists them
 *   latency [<us>]                show or set the per-report latency (0 to 10000000)
 *   echo [on|off]                 show or set whether replies repeat the request's length
 *                                 and offset (bytes 4-6; on by default); off: firmware
 *                                 that leaves them zero
 *   reports [clear]               counters: ctrl-requests ctrl-replies led-writes cons-events
 *   sync                          wait until every queued report and event was delivered
 *   save                          write the state file now
 *
 * Areas: settings (44), parameters (252), keymaps (4 x 512, profile p at p*512),
 * factory (512, read-only), macro (settings byte 11 x 128), colours (4 x 512),
 * led (the last 'LED' output report, read-only).
 *
 * "dump lighting" (also the end of "dump"), one header line and two lines per
 * profile p = 0-3; numbers are the record's bytes as stored, in decimal;
 * colours are RRGGBB in upper-case hex:
 *   [lighting] current profile <settings byte 10>, effects <list as "effects" shows it>
 *   profile <p>: effect=<0> brightness=<1> speed=<2> direction=<3> multicolour=<4>
 *     colour=<5-7> base-colour=<9-11> report-rate=<15> colour-choice=<17>   (one line)
 *   profile <p> painted <n>: <led>=<RRGGBB> ...
 * (<k> is byte k of the profile's 42-byte record at p*42 of the parameter
 * area.) The painted keys are the LED positions 0-143 of the profile's colour
 * area whose colour is not the record's base colour, in ascending order: the
 * keys that the utility, on connecting, treats as painted rather than following
 * the base colour. A profile without them reads "profile <p> painted 0:".
 *
 * Commands that send an event return once the registered callbacks have
 * returned (unless called from such a callback).
 */
// clang-format on
#ifndef KST_DEVICE_SIM_TOLVANESIMCONTROL_H
#define KST_DEVICE_SIM_TOLVANESIMCONTROL_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Results. */
#define TOLVANE_SIM_OK 1
#define TOLVANE_SIM_UNKNOWN 0       /* no such command */
#define TOLVANE_SIM_BAD_ARGUMENT -1 /* wrong arguments; nothing changed */
#define TOLVANE_SIM_FAILED -2       /* could not be done (unplugged, file error, time-out) */
#define TOLVANE_SIM_REPLY_CUT -3    /* done, but the reply did not fit and was cut */

/* Runs one command. The reply text is written to reply (always terminated
 * when replyCapacity > 0; reply may be null when replyCapacity is 0). */
int TolvaneSimControl(const char* command, char* reply, uint32_t replyCapacity);
typedef int (*TolvaneSimControlFn)(const char* command, char* reply, uint32_t replyCapacity);

#ifdef __cplusplus
}
#endif

#endif /* KST_DEVICE_SIM_TOLVANESIMCONTROL_H */
