// The real tarnfetch on pages whose player is set up in the page: each
// shape must lead to the clip, byte for byte, and to the best quality the
// page states.
#include <map>
#include <regex>

#include "support/TarnfetchTest.h"

namespace tarnfetch_test {
namespace {

const std::string kClip = RandomBytes(48 << 10, 4);
const std::string kLow = RandomBytes(16 << 10, 5);

struct Shape {
  const char* name;  // also the page's title, so the file's name
  std::string body;
};

using TarnfetchPlayerPages = TarnfetchTest;

TEST_F(TarnfetchPlayerPages, EachShapeOfPlayerGivesTheBestClip) {
  const Shape* current = nullptr;
  Routes().Get("/page", [&](const httplib::Request&, httplib::Response& res) {
    res.set_content("<html><head><title>" + std::string(current->name) + "</title></head><body>" +
                        current->body + "</body></html>",
                    "text/html");
  });
  for (const char* path : {"/media/low.mp4", "/media/mid.mp4"}) Serve(path, kLow);
  Serve("/media/clip.mp4", kClip);
  // JW Player's delivery feed: the newest item first.
  Serve("/feeds/media/abc",
        R"({"title": "Feed", "playlist": [{"title": "New", "sources": [)"
        R"({"file": "/media/low.mp4", "label": "360p"},)"
        R"({"file": "/media/clip.mp4", "label": "1080p"}]},)"
        R"({"title": "Old", "sources": [{"file": "/media/mid.mp4"}]}]})",
        "application/json");
  const std::string base = Url("");
  const std::vector<Shape> shapes{
      {"jw file",
       "<script>jwplayer(\"p\").setup({file: \"/media/clip.mp4\", image: \"/poster.jpg\", "
       "width: 640});</script>"},
      {"jw sources by label",
       "<script>\njwplayer('p').setup({ playlist: [{ sources: [\n"
       "  {file: '/media/low.mp4', label: '360p'},\n"
       "  {file: '/media/clip.mp4', label: '1080p HD'}, // the best\n"
       "  {file: '/media/mid.mp4', label: '720p', },\n"
       "]}], events: { onReady: function () { console.log('x', {a: 1}); } } });</script>"},
      {"jw sources by bitrate",
       "<script>var p = jwplayer('p'); p.setup({sources: [{file: '/media/low.mp4', bitrate: "
       "500000}, {file: '/media/clip.mp4', bitrate: 4000000}]});</script>"},
      {"videojs data-setup",
       "<video-js id=v class=video-js data-setup='{\"sources\": [{\"src\": \"/media/clip.mp4\", "
       "\"type\": \"video/mp4\"}]}'></video-js>"},
      {"video-js sources",
       "<video-js id=v><source src=\"/media/clip.mp4\" type=\"video/mp4\"></video-js>"},
      {"videojs call",
       "<script>videojs(document.getElementById('v'), { sources: [{ src: '/media/clip.mp4', "
       "type: 'video/mp4' }] });</script>"},
      {"flowplayer",
       "<script>flowplayer(\"#player\", { clip: { sources: [ { type: \"application/x-mpegurl\", "
       "src: \"/media/clip.vtt\" }, { type: \"video/mp4\", src: \"/media/clip.mp4\" } ] } "
       "});</script>"},
      {"plyr source",
       "<script>const player = new Plyr('#player');\nplayer.source = { type: 'video', sources: "
       "[ { src: '/media/low.mp4', type: 'video/mp4', size: 576 }, { src: '/media/clip.mp4', "
       "type: 'video/mp4', size: 1080 } ], tracks: [{ kind: 'captions', src: '/en.vtt' }] "
       "};</script>"},
      {"source tags by size",
       "<video><source src=/media/low.mp4 size=480><source src=/media/clip.mp4 size=1080>"
       "<source src=/media/mid.mp4 res=720></video>"},
      {"video data-src", "<video class=lazy data-src=\"/media/clip.mp4\"></video>"},
      {"video data-video", "<video data-video='/media/clip.mp4'></video>"},
      {"twitter player stream",
       "<meta name=\"twitter:player:stream\" content=\"/media/clip.mp4\">"},
      {"itemprop contentUrl",
       "<div itemscope itemtype=\"http://schema.org/VideoObject\"><meta itemprop=\"contentUrl\" "
       "content=\"/media/clip.mp4\"></div>"},
      {"link video_src", "<link rel=\"video_src\" href=\"/media/clip.mp4\">"},
      {"jw playlist feed",
       "<script>jwplayer('p').setup({playlist: '/feeds/media/abc', width: '100%'});</script>"},
      {"quoted address in a script", "<script>window.__STATE__ = {\"img\":\"" + base +
                                         "/poster.jpg\",\"stream\":\"" +
                                         std::regex_replace(base, std::regex("/"), "\\/") +
                                         "\\/media\\/clip.mp4?token=1\"};</script>"},
  };

  for (const Shape& shape : shapes) {
    SCOPED_TRACE(shape.name);
    current = &shape;
    const fs::path folder = temp() / shape.name;
    ExpectSuccess(FetchInto(folder, "/page"));
    const std::string file = std::string(shape.name) + ".mp4";
    EXPECT_EQ(FilesBelow(folder), std::vector<std::string>{file});
    EXPECT_TRUE(ReadFile(folder / file) == kClip) << "not the best clip";
  }
}

// Frames: a page's video may sit in the page it shows in a frame, or in a
// frame of that one; a loop of frames ends; three levels are too deep.
TEST_F(TarnfetchPlayerPages, FramesAreSearchedTwoLevelsDeepAndLoopsEnd) {
  for (const auto& [page, html] : std::map<std::string, std::string>{
           {"/framed.html", "<title>Outer</title><iframe src=\"inner.html\"></iframe>"},
           {"/inner.html", "<title>Inner</title><video src=\"/media/clip.mp4\"></video>"},
           {"/nested.html",
            "<title>Nested</title><iframe src=\"/ftp-only\"></iframe>"
            "<embed src=\"ftp://127.0.0.1/x\"><object data=\"/middle.html\"></object>"},
           {"/middle.html", "<title>Middle</title><iframe src=\"/inner.html\"></iframe>"},
           {"/loop-a.html", "<iframe src=\"/loop-b.html\"></iframe><iframe src=\"/loop-a.html\">"},
           {"/loop-b.html", "<iframe src=\"/loop-a.html\"></iframe><embed src=\"/loop-b.html\">"},
           {"/deep.html", "<iframe src=\"/nested.html\"></iframe>"},
       }) {
    Serve(page, html);
  }
  Serve("/media/clip.mp4", kClip);
  // Without the site extractor, which would be asked after a failed search.
  const ScopedEnv noPrograms("PATH", "/nonexistent");
  for (const auto& [page, file] :
       {std::pair{"/framed.html", "Outer.mp4"}, std::pair{"/nested.html", "Nested.mp4"}}) {
    SCOPED_TRACE(page);
    ExpectSuccess(FetchInto(temp(), page));
    EXPECT_TRUE(ReadFile(temp() / file) == kClip) << "the title stays the outer page's";
  }
  ForgetRequests();
  const RunResult loop = FetchInto(temp(), "/loop-a.html");
  ExpectFailure(loop, temp() / "none", "No video was found on the page");
  EXPECT_EQ(Requested(), (std::vector<std::string>{"/loop-a.html", "/loop-b.html"}));

  ForgetRequests();
  ExpectFailure(FetchInto(temp(), "/deep.html"), temp() / "none");
  EXPECT_EQ(Requested("/inner.html").size(), 0u) << "a frame three levels down is not read";
  EXPECT_EQ(Requested("/middle.html").size(), 1u);
}

}  // namespace
}  // namespace tarnfetch_test
