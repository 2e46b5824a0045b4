#pragma once
// Reads the simulated keyboard's capture file (KESTRUNE_CAPTURE): one line a
// report, "<microseconds> <direction> <channel> <bytes as hex>".

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace kst::capturetest {

// One 'CTRL' request as the keyboard received it.
struct SentRequest {
  std::uint8_t command = 0;
  std::uint16_t offset = 0;
};

// The 'CTRL' requests of the capture file, in the order the keyboard
// received them.
inline std::vector<SentRequest> SentRequests(const std::filesystem::path& capture) {
  std::vector<SentRequest> sent;
  std::ifstream in(capture);
  for (std::string line; std::getline(in, line);) {
    std::istringstream words(line);
    std::string time, direction, channel;
    words >> time >> direction >> channel;
    if (direction != ">" || channel != "CTRL") continue;
    std::vector<unsigned long> bytes;
    for (std::string hex; words >> hex;) bytes.push_back(std::stoul(hex, nullptr, 16));
    if (bytes.size() < 7) continue;
    sent.push_back({static_cast<std::uint8_t>(bytes[3]),
                    static_cast<std::uint16_t>(bytes[5] | bytes[6] << 8)});
  }
  return sent;
}

// What breaks "one command sequence at a time", one line per fault:
// a request between begin-update (0x01) and end-update (0x02) that is not one
// of the update's writes (macro area 0x0A, parameters 0x06, key map 0x08); a
// chunk of a chunked transfer that does not follow the chunk before it; an
// update begun inside another or ended outside one.
inline std::vector<std::string> SequenceFaults(const std::vector<SentRequest>& sent) {
  constexpr std::size_t kChunk = 56;
  constexpr std::size_t kBlock = 512;  // a key map; chunk offsets restart per profile
  std::vector<std::string> faults;
  bool inUpdate = false;
  for (std::size_t i = 0; i < sent.size(); ++i) {
    const SentRequest& s = sent[i];
    const std::string where = "request " + std::to_string(i) + " (command " +
                              std::to_string(s.command) + ", offset " + std::to_string(s.offset) +
                              ")";
    if (s.command == 0x01) {
      if (inUpdate) faults.push_back(where + ": begin-update inside an update");
      inUpdate = true;
      continue;
    }
    if (s.command == 0x02) {
      if (!inUpdate) faults.push_back(where + ": end-update outside an update");
      inUpdate = false;
      continue;
    }
    const bool updateWrite = s.command == 0x0A || s.command == 0x06 || s.command == 0x08;
    if (inUpdate && !updateWrite) faults.push_back(where + ": inside an update");
    const bool chunked = s.command == 0x07 || s.command == 0x08 || s.command == 0x09 ||
                         s.command == 0x0A || s.command == 0x0F;
    if (chunked && s.offset % kBlock != 0 &&
        (i == 0 || sent[i - 1].command != s.command || sent[i - 1].offset + kChunk != s.offset)) {
      faults.push_back(where + ": does not follow its transfer's chunk before");
    }
  }
  return faults;
}

}  // namespace kst::capturetest
