#include "download/DownloaderOutput.h"

#include <gtest/gtest.h>

namespace quillmarsh {

namespace {
std::string Fields(std::string_view chunk) {
  const auto tag = ReadProgressTag(chunk);
  if (!tag) return "none";
  return std::to_string(tag->percent) + "|" + tag->size + "|" + tag->speed + "|" + tag->eta;
}
}  // namespace

TEST(DownloaderOutput, ProgressTag) {
  struct Case {
    const char* chunk;
    const char* expected;
  };
  const Case cases[] = {
      {"<speed> 45.7% of 8.0M at 1.2M ETA 00:05</speed>", "45|8.0M|1.2M|00:05"},
      {"<speed> 99.99% of 8.0M at 1.2M ETA 00:00</speed>", "99|8.0M|1.2M|00:00"},
      {"<speed> 100.0% of 8.0M at 1.5M ETA 00:00</speed>", "100|8.0M|1.5M|00:00"},
      {"<speed>101%</speed>", "101|||"},
      // Cut from inside the tag: a title before it holding "of", "at", "ETA".
      {"3 : <title>Best of ETA at Sea</title>\n<speed> 45.0% of 8.0M at 1.2M ETA 00:05</speed>",
       "45|8.0M|1.2M|00:05"},
      // The first tag of the chunk counts.
      {"<speed> 40.0% of 1M at 1K ETA 9</speed>\n<speed> 41.0% of 2M at 2K ETA 8</speed>",
       "40|1M|1K|9"},
      // Closed in the next chunk: no time; "%" after the chunk's end: nothing.
      {"<speed> 45.0% of 8.0M at 1.2M ETA 00", "45|8.0M|1.2M|"},
      {"<speed> 45.0", "none"},
      {"<spe", "none"},
      {"<speed> % of 8.0M</speed>", "none"},
      {"<speed> 4x% of 8.0M</speed>", "none"},
      {"<speed> 45,7% of 8.0M</speed>", "none"},
      {"<speed> 1e400% of 8.0M</speed>", "none"},
      {"<speed> 99999999999% of 8.0M</speed>", "none"},
      {"<speed> -0.5% of 1M at 1K ETA 1</speed>", "0|1M|1K|1"},
      // A "%" beyond the closing tag is not the tag's percent.
      {"<speed> ? </speed> 50%", "none"},
  };
  for (const Case& c : cases) EXPECT_EQ(Fields(c.chunk), c.expected) << c.chunk;
}

TEST(DownloaderOutput, FailureLines) {
  struct Case {
    const char* line;
    bool crash;
    bool error;
  };
  const Case cases[] = {
      {"ERROR: unable to download", false, true},
      {"urlopen error timed out", false, true},
      {"eRrOr", false, true},
      {"Traceback (most recent call last):", true, false},
      {"<title>Terror</title>", false, false},
      {"<title>Traceback Error Live</title>", false, false},
      {"<filename>/home/u/errors/Clip.mp4</filename>", false, false},
      {"<skip>/home/u/errors/Clip.mp4</skip>", false, false},
      {"<title>Terror</title> ERROR: disk full", false, true},
      {"0 : <title>My Error", false, false},  // value cut off by the chunk's end
      {"Error Show</title>", false, false},   // its rest in the next chunk
      {"<title></title>error", false, true},
      {"<title>a</title><title>error</title>", false, false},
      {"<speed> 45% of 1M at 1M ETA 0</speed>", false, false},
      {"<list-entry>https://v.example/error Terror</list-entry>", false, false},
      {"<list>3 0 0</list>", false, false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(IsCrashReportLine(c.line), c.crash) << c.line;
    EXPECT_EQ(IsErrorLine(c.line), c.error) << c.line;
  }
}

TEST(DownloaderOutput, ListMarkers) {
  const struct {
    const char* line;
    std::string entry;  // "url|title", or "" for none
    std::string end;    // "entries skipped cut", or "" for none
  } cases[] = {
      {"<list-entry>https://v.example/1 A \xEF\xBC\x9C"
       "b></list-entry>",
       "https://v.example/1|A <b>", ""},
      {"<list-entry>file:///etc/passwd x</list-entry>", "", ""},
      {"<list-entry>https://v.example/3</list-entry>", "", ""},  // no blank: cut or damaged
      {"<list>40 2 1</list>", "", "40 2 1"},
      {"<list>40 2</list>", "", ""},
  };
  for (const auto& c : cases) {
    const auto entry = ReadListEntry(c.line);
    EXPECT_EQ(entry ? entry->url + "|" + entry->title : "", c.entry) << c.line;
    const auto end = ReadListEnd(c.line);
    EXPECT_EQ(end ? std::to_string(end->entries) + " " + std::to_string(end->skipped) + " " +
                        std::to_string(end->cut)
                  : "",
              c.end)
        << c.line;
  }
}

TEST(DownloaderOutput, FailureTextKeepsTheMessagesOwnCharacters) {
  EXPECT_EQ(FailureText("0 : ERROR: HTTP 404 \xEF\xBC\x9Chtml> & \"x\" \xEF\xBC\x9C\xEF\xBC\x9C "),
            "HTTP 404 <html> & \"x\" <<");
}

}  // namespace quillmarsh
