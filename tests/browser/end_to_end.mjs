// Drives Debian's chromium, headless, with the unpacked extension: a
// loopback page shows a video, and the extension's context-menu handler is
// run for it as the browser runs it on "Download with Quillmarsh".
// Browsers offer no way to click their own context menu from a test, so the
// handler is called in the extension's service worker through the
// debugging protocol, with the click data chromium would pass.
//   node end_to_end.mjs EXTENSION_DIR USER_DATA_DIR
// Prints the answer of the native host as JSON and the video's address.
import http from "node:http";
import puppeteer from "puppeteer-core";

const [extension, userDataDir] = process.argv.slice(2);
const extensionId = "kcmgolgkahfoegncjkhccaohkjleicgd";

// A page with a video, and the video (a stand-in: it need not play).
const server = http.createServer((request, response) => {
  const video = request.url === "/clip.mp4";
  response.writeHead(200, { "Content-Type": video ? "video/mp4" : "text/html" });
  response.end(video ? Buffer.alloc(64) : '<!DOCTYPE html><video src="/clip.mp4"></video>');
});
await new Promise((resolve) => server.listen(0, "127.0.0.1", resolve));
const pageUrl = `http://127.0.0.1:${server.address().port}/watch`;

const browser = await puppeteer.launch({
  executablePath: "/usr/bin/chromium",
  headless: true,
  timeout: 120000, // a loaded machine starts it slowly
  userDataDir,
  args: [
    ...(process.getuid() === 0 ? ["--no-sandbox"] : []),
    `--disable-extensions-except=${extension}`,
    `--load-extension=${extension}`,
  ],
});
try {
  const isOurs = (t) => t.type() === "service_worker" && t.url().startsWith(`chrome-extension://${extensionId}/`);
  const worker = await (await browser.waitForTarget(isOurs, { timeout: 120000 })).worker();
  const page = await browser.newPage();
  await page.goto(pageUrl);
  const srcUrl = await page.$eval("video", (video) => video.currentSrc || video.src);
  const info = { menuItemId: "download-with-quillmarsh", mediaType: "video", srcUrl, pageUrl, frameId: 0 };
  const answer = await worker.evaluate(async (clicked) => {
    const [tab] = await chrome.tabs.query({ active: true, lastFocusedWindow: true });
    return onMenuClicked(clicked, tab);
  }, info);
  console.log(JSON.stringify(answer));
  console.log(srcUrl);
} finally {
  await browser.close();
  server.close();
}
