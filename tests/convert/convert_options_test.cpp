#include "convert/ConvertOptions.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace quillmarsh {

namespace {
const std::string kApple =
    "-acodec aac -ac 2 -strict experimental -ab 160k -vcodec libx264 -pix_fmt yuv420p -profile:v "
    "baseline -level 30 -maxrate 10000000 -bufsize 10000000 -b 1200k -f mp4 ";

TEST(ConvertOptions, TablesHoldTheListsInOrder) {
  std::vector<std::string> formats, presets;
  for (const auto& f : FormatOptions()) formats.push_back(f.name);
  for (const auto& p : PriorityOptions()) presets.push_back(p.name);
  EXPECT_EQ(formats,
            (std::vector<std::string>{"iPad (.mp4)", "iPod (.mp4)", "iPhone (.mp4)", "PSP (.mp4)",
                                      "Samsung Galaxy (.mp4)", "Kindle Fire (.mp4)",
                                      "MP3 Audio(.mp3)", "Ogg Audio(.ogg)"}));
  EXPECT_EQ(presets, (std::vector<std::string>{"Quality First", "Both", "Time First"}));
  EXPECT_EQ(&FormatOptions(), &FormatOptions());
}

TEST(ConvertOptions, EveryRowIsConsistent) {
  for (const auto& f : FormatOptions()) {
    ASSERT_FALSE(f.args.empty());
    EXPECT_EQ(f.args.back(), ' ') << f.name;
    EXPECT_NE(f.args[f.args.size() - 2], ' ') << f.name;
    // The text between the parentheses is the extension.
    const auto open = f.name.find('(');
    EXPECT_EQ(f.name.substr(open + 1, f.name.size() - open - 2), f.ext) << f.name;
  }
  for (const auto& p : PriorityOptions()) EXPECT_EQ(p.args.back(), ' ') << p.name;
  EXPECT_EQ(FormatOptions()[0].args, kApple);
}

TEST(ConvertOptions, LookupJoinsFormatAndPresetOptions) {
  ConvertArgs psp = GetConvertArgs("PSP (.mp4)", "Time First");
  EXPECT_TRUE(psp.found);
  EXPECT_EQ(psp.args,
            "-s 320x240 -pix_fmt yuv420p -b 512000 -ar 24000 -ab 64000 -f psp -r 29.97 -preset "
            "superfast ");
  EXPECT_EQ(psp.ext, ".mp4");

  ConvertArgs ogg = GetConvertArgs("Ogg Audio(.ogg)", "Quality First");
  EXPECT_TRUE(ogg.found);
  EXPECT_EQ(ogg.args, "-f ogg -vn -acodec libvorbis -aq 60 -preset slow ");
  EXPECT_EQ(ogg.ext, ".ogg");

  EXPECT_EQ(GetConvertArgs("MP3 Audio(.mp3)", "Both").args, "-f mp3 -preset medium ");
  EXPECT_EQ(GetConvertArgs("Samsung Galaxy (.mp4)", "Both").args,
            "-acodec aac -ab 160k -vcodec libx264 -pix_fmt yuv420p -profile:v baseline -level 30 "
            "-maxrate 10000000 -bufsize 10000000 -f mp4 -preset medium ");
  EXPECT_EQ(GetConvertArgs("Kindle Fire (.mp4)", "Both").args,
            "-acodec aac -ab 96k -vcodec libx264 -pix_fmt yuv420p -f mp4 -crf 22 -strict "
            "experimental -preset medium ");
  for (const char* apple : {"iPad (.mp4)", "iPod (.mp4)", "iPhone (.mp4)"}) {
    const ConvertArgs a = GetConvertArgs(apple, "Quality First");
    EXPECT_EQ(a.args, kApple + "-preset slow ") << apple;
    EXPECT_EQ(a.ext, ".mp4");
  }
}

TEST(ConvertOptions, NamesMatchWholeAndWithTheirCase) {
  const ConvertArgs noPreset = GetConvertArgs("iPad (.mp4)", "quality first");
  EXPECT_TRUE(noPreset.found);
  EXPECT_EQ(noPreset.args, kApple);

  for (const char* format : {"MP3 Audio (.mp3)", "ipad (.mp4)", "iPad", "iPad (.mp4) ", ""}) {
    const ConvertArgs a = GetConvertArgs(format, "");
    EXPECT_FALSE(a.found) << format;
    EXPECT_EQ(a.args, "") << format;
    EXPECT_EQ(a.ext, "") << format;
  }
  const ConvertArgs unknown = GetConvertArgs("WebM (.webm)", "Both");
  EXPECT_FALSE(unknown.found);
  EXPECT_EQ(unknown.ext, "");
}
}  // namespace

}  // namespace quillmarsh
