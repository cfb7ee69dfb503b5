#pragma once
// Log-out, shutdown and a terminal's Ctrl-C (SIGTERM, SIGHUP, SIGINT) reach
// the event loop instead of ending the process where it stands, with its
// children left running and the list unsaved. The signal handler only
// writes the signal's number into a pipe; a QSocketNotifier on the other
// end calls `close` on the user-interface thread. Any later one of the three
// signals ends the process at once, in the handler, with its children's
// process groups killed first, whether or not the first was handled yet.
//
// One instance per process; create and destroy it on the user-interface thread.

#include <QObject>
#include <functional>

class QSocketNotifier;

namespace quillmarsh {

class ShutdownSignals : public QObject {
  Q_OBJECT
 public:
  explicit ShutdownSignals(std::function<void()> close, QObject* parent = nullptr);
  // Puts the earlier handlers back and closes the pipe.
  ~ShutdownSignals() override;
  ShutdownSignals(const ShutdownSignals&) = delete;
  ShutdownSignals& operator=(const ShutdownSignals&) = delete;

  // False when the pipe or a handler could not be set up (the signals then
  // keep their default action).
  bool Installed() const { return installed_; }

 private:
  void Arrived();

  std::function<void()> close_;
  int pipe_[2] = {-1, -1};
  bool installed_ = false;
  QSocketNotifier* notifier_ = nullptr;
};

}  // namespace quillmarsh
