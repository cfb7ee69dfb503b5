#pragma once

#include <chrono>

namespace tarnfetch {

// How many connections to keep busy with one server, decided from what
// they achieve. A fixed plan keeps the count it was given. An adaptive plan
// starts at its count (kFirst for a server not met before, else where the
// last download from it settled) and, as TCP's slow start does, doubles it
// after every short window (a few round trips) while the total rate rises by
// kClearGain over the last one, up to kMost; when a step does not pay it goes
// back to the last count that did. When the server refuses a connection it
// drops by one at once and never grows again.
class ConnectionPlan {
 public:
  static constexpr int kMost = 16;
  // Where the count starts for a server it has not settled with: one
  // doubling from kMost, a browser's few connections to one server.
  static constexpr int kFirst = 8;
  // Segments are small requests a player asks for many at a time: a stream
  // starts at the most, and a server that refuses some brings it down.
  static constexpr int kFirstSegments = kMost;
  // A window lasts this many round trips (the time a request waits for its
  // first byte), within these bounds: long enough to show the rate of the
  // count it measures, short enough to reach the right count early.
  static constexpr int kRoundTrips = 2;
  static constexpr std::chrono::milliseconds kShortestWindow{50};
  static constexpr std::chrono::milliseconds kLongestWindow{500};
  // A step must raise the total by this share to count.
  static constexpr double kClearGain = 0.15;
  // A connection faster than this (bytes a second) is not held back by the
  // server: the link or this machine limits it, and more would not help.
  static constexpr double kHeldBelow = 20e6;
  // Connections count as held to the same rate while the slowest gets at
  // least this share of the fastest's.
  static constexpr double kEven = 0.5;
  // A window counts only while its slots were this busy on average.
  static constexpr double kBusy = 0.9;

  // What is measured: bytes of a file's parts, or whole segments.
  enum class Measure { Bytes, Segments };

  // One window's figures.
  struct Sample {
    double total = 0;  // bytes or segments a second, all connections together
    double busy = 0;   // requests in flight on average
    // Bytes a second of the slowest and fastest connection that ran
    // through the whole window; 0 when fewer than two did (the average
    // is taken then).
    double slowest = 0;
    double fastest = 0;
  };

  static ConnectionPlan Fixed(int count);
  static ConnectionPlan Adaptive(int start, Measure measure);

  int Count() const { return count_; }
  // The count this plan may reach.
  int Most() const { return fixed_ ? count_ : ceiling_; }
  Measure Counted() const { return measure_; }
  // How long a window lasts when a request waits roundTrip for its first
  // byte.
  static std::chrono::milliseconds Window(std::chrono::milliseconds roundTrip);

  void Measured(const Sample& sample);
  // For a download under a speed limit: the count stays where it is, as
  // more connections would only share the same limit (it still drops when
  // the server refuses one).
  void Hold() { settled_ = true; }
  // The server answered 429 or 503, refused or reset a connection. True
  // when the count went down (the plan was above one and adapts).
  bool Overloaded();

 private:
  ConnectionPlan(int count, bool fixed, Measure measure);
  bool Judgeable(const Sample& sample) const;
  void Grow();

  int count_;
  bool fixed_;
  Measure measure_;
  int ceiling_ = kMost;
  bool settled_ = false;
  int paidCount_ = 0;     // the last count whose window was judged
  double paidTotal_ = 0;  // and its total
};

}  // namespace tarnfetch
