#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <string_view>

namespace tarnfetch {

// Moves the decode times of a fragmented MP4 stream as it is written, so
// that pieces whose clocks each start again (DASH periods) follow one
// another in the joined file. The "moov" boxes give each track's timescale;
// every "moof" has its fragments' base decode times ("tfdt") moved by the
// current shift. Boxes keep their sizes; only those eight or four bytes
// change. What cannot be read so (another container, a box too large to
// hold, a time that would not fit) passes unchanged: the joined file's
// length is checked afterwards.
class FragmentRetimer {
 public:
  using Out = std::function<void(const char* data, std::size_t size)>;

  // Boxes held whole before they are passed on; fragment headers and
  // initialisation sections are far smaller.
  static constexpr std::size_t kMaxHeldBox = 16u << 20;

  // Seconds added to the decode times of the fragments fed from now on.
  void Shift(double seconds) { shift_ = seconds; }
  void Feed(std::string_view data, const Out& out);
  // Passes on what is held (a box cut at a segment's end), unchanged; the
  // rest of that box passes as it comes.
  void Flush(const Out& out);

  // The timescales learnt, as "track:scale" pairs, to carry to a resumed
  // run; Restore takes them back.
  std::string Timescales() const;
  void Restore(std::string_view saved);

 private:
  void Begin(const Out& out);
  void Finish(const Out& out);
  void LearnTimescales(std::string_view moov);
  void MoveDecodeTimes(std::string& moof) const;

  double shift_ = 0;
  std::map<std::uint32_t, std::uint32_t> timescales_;  // by track ID
  std::string held_;                                   // a box header, or a whole box being held
  std::uint64_t left_ = 0;                             // bytes of the current box still to come
  bool holding_ = false;                               // held_ is a box to be read whole
  bool passing_ = false;                               // the rest of the current box passes
  bool lost_ = false;                                  // the stream is no longer a run of boxes
};

}  // namespace tarnfetch
