// tarnfetch: downloads a video or audio file, or the media of a web page,
// and reports its progress in the markers Quillmarsh reads.
#include <exception>

#include "Arguments.h"
#include "Console.h"
#include "FetchError.h"
#include "FetchJob.h"

int main(int argc, char** argv) {
  using tarnfetch::Arguments;
  const Arguments args = tarnfetch::ParseArguments(argc, argv);
  switch (args.action) {
    case Arguments::Action::Help:
      tarnfetch::console::Plain(tarnfetch::HelpText());
      return 0;
    case Arguments::Action::Version:
      tarnfetch::console::Plain("tarnfetch " TARNFETCH_VERSION "\n");
      return 0;
    case Arguments::Action::Invalid:
      tarnfetch::console::Error(args.problem);
      return 2;
    case Arguments::Action::Download:
      break;
  }
  try {
    tarnfetch::RunFetchJob(args.url, args.pathTemplate);
    return 0;
  } catch (const tarnfetch::FetchError& failure) {
    tarnfetch::console::Error(failure.what());
  } catch (const std::exception& failure) {
    tarnfetch::console::Error(std::string("Unexpected failure: ") + failure.what());
  }
  return 1;
}
