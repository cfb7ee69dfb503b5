// tarnfetch: downloads a video or audio file, or the media of a web page,
// and reports its progress in the markers Quillmarsh reads.
#include <signal.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <exception>

#include "app/Arguments.h"
#include "app/FetchJob.h"
#include "cookies/CookieSources.h"
#include "core/FetchError.h"
#include "extractor/DailyCheck.h"
#include "http/PassingFault.h"
#include "report/Console.h"

namespace {
// A downloader whose program has gone (crashed, killed) would go on writing
// the ".part" file that the next start resumes: end together with it.
void EndWithParent() {
  const pid_t parent = getppid();
  prctl(PR_SET_PDEATHSIG, SIGKILL);
  if (getppid() != parent) _exit(1);
}
}  // namespace

int main(int argc, char** argv) {
  using tarnfetch::Arguments;
  const Arguments args = tarnfetch::ParseArguments(argc, argv);
  // The site extractor's daily check is started detached by a download that
  // usually ends first; it keeps its own time limits and must outlive it.
  if (args.action != Arguments::Action::UpdateExtractor) EndWithParent();
  switch (args.action) {
    case Arguments::Action::Help:
      tarnfetch::console::Plain(tarnfetch::HelpText());
      return 0;
    case Arguments::Action::Version:
      tarnfetch::console::Plain("tarnfetch " TARNFETCH_VERSION "\n");
      return 0;
    case Arguments::Action::UpdateExtractor: {
      bool failed = false;
      for (const std::string& line :
           tarnfetch::RunDailyCheck(tarnfetch::ExtractorHome::Find(), args.options, failed)) {
        tarnfetch::console::Plain(line + "\n");
      }
      return failed ? 1 : 0;
    }
    case Arguments::Action::Invalid:
      tarnfetch::console::Error(args.problem);
      return 2;
    case Arguments::Action::Download:
      break;
  }
  try {
    tarnfetch::FetchOptions options = args.options;
    options.cookies = tarnfetch::LoadCookies(options.cookieFile, options.cookiesFromBrowser);
    tarnfetch::RunFetchJob(options);
    return 0;
  } catch (const tarnfetch::FetchError& failure) {
    tarnfetch::console::Error(failure.what(), tarnfetch::MentionsPassingFault(failure.what())
                                                  ? tarnfetch::console::Passing::MayPass
                                                  : tarnfetch::console::Passing::Final);
  } catch (const std::exception& failure) {
    tarnfetch::console::Error(std::string("Unexpected failure: ") + failure.what());
  }
  return 1;
}
