#pragma once
// The real program (the probe: the real entry sequence, rows printed as
// they change) as a process of its own, in an application folder.

#include <QByteArray>
#include <QProcess>
#include <QStringList>
#include <string>
#include <vector>

#include "support/AppFolder.h"

namespace quillmarsh {

// Makes the folder's downloader the scripted fake; `script` is what it
// plays for the address "http://v/<name>".
void UseFakeDownloader(const AppFolder& app, const std::string& name, const std::string& script);

class ProbeProcess {
 public:
  ProbeProcess(const AppFolder& app, const QStringList& args);
  // Ends the program and every downloader it left, so a failed test leaves nothing.
  ~ProbeProcess();
  ProbeProcess(const ProbeProcess&) = delete;
  ProbeProcess& operator=(const ProbeProcess&) = delete;

  // True once the output holds `text` (at most 20 s).
  bool WaitFor(const QByteArray& text);
  void Signal(int number);
  // True when the program ended within `ms`.
  bool WaitForEnd(int ms);
  // The processes that have `url` as an argument, the program itself left out.
  std::vector<int> Children(const std::string& url) const;

  QProcess process;
  QByteArray out;  // standard output so far

 private:
  std::vector<std::string> urls_;
};

}  // namespace quillmarsh
