#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace tarnfetch {

// Pages hide their player's set-up with the common "p,a,c,k,e,d" packer:
//   eval(function(p,a,c,k,e,d){...}('0 1=\'2\'',62,3,'var|x|y'.split('|'),0,{}))
// where each word of the payload p is the index, in base a, of its word in
// k. This gives the script such calls unpack to, one after another: at most
// kMaxCalls of them, reading at most kMaxArgumentBytes of each one's
// arguments and giving at most kMaxUnpackedBytes in all, in time linear in
// those. Empty when the script holds none.
struct PackedScriptLimits {
  static constexpr std::size_t kMaxCalls = 4;
  static constexpr std::size_t kMaxArgumentBytes = 1 << 20;
  static constexpr std::size_t kMaxUnpackedBytes = 1 << 20;
};
std::string UnpackScript(std::string_view script);

}  // namespace tarnfetch
