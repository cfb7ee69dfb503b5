// Hands addresses to Quillmarsh through its native messaging host. Only
// addresses leave the browser: never cookies, never page content.
"use strict";

const api = globalThis.browser ?? globalThis.chrome;
const HOST = "org.example.quillmarsh";
const MENU_ID = "download-with-quillmarsh";

api.runtime.onInstalled.addListener(() => {
  api.contextMenus.create({
    id: MENU_ID,
    title: "Download with Quillmarsh",
    contexts: ["link", "video", "audio", "page"],
  });
});

function isWebAddress(url) {
  return typeof url === "string" && /^https?:\/\//i.test(url);
}

// The link, else the media's own file when it has a web address (a stream
// played from "blob:" has none), else the page it is on.
function addressFor(info, tab) {
  return [info.linkUrl, info.srcUrl, info.pageUrl, tab?.url].find(isWebAddress);
}

async function showOutcome(tabId, badge, title) {
  await api.action.setBadgeText({ tabId, text: badge });
  await api.action.setTitle({ tabId, title });
}

// The host missing or failing is told in a small window of our own.
async function tellUnreachable(reason) {
  const page = api.runtime.getURL("notice.html") + "#" + encodeURIComponent(reason);
  await api.windows.create({ url: page, type: "popup", width: 480, height: 260 });
}

// Sends one address; resolves to the host's answer, or to
// {ok: false, unreachable: true, error} when the host could not be run.
async function sendToQuillmarsh(url, tabId) {
  if (!url) {
    await showOutcome(tabId, "!", "Quillmarsh: this page has no web address");
    return { ok: false, error: "no web address" };
  }
  let answer;
  try {
    answer = await api.runtime.sendNativeMessage(HOST, { urls: [url] });
  } catch (error) {
    answer = { ok: false, unreachable: true, error: String(error?.message ?? error) };
  }
  if (answer?.ok) {
    const added = answer.added > 0 ? "Added to Quillmarsh" : "Already in Quillmarsh's list";
    await showOutcome(tabId, answer.added > 0 ? "+" : "=", `${added}: ${url}`);
  } else {
    await showOutcome(tabId, "!", `Quillmarsh: ${answer?.error ?? "no answer"}`);
    if (answer?.unreachable) await tellUnreachable(answer.error);
  }
  return answer;
}

function onMenuClicked(info, tab) {
  if (info.menuItemId !== MENU_ID) return undefined;
  return sendToQuillmarsh(addressFor(info, tab), tab?.id);
}

function onToolbarClicked(tab) {
  return sendToQuillmarsh(isWebAddress(tab.url) ? tab.url : undefined, tab.id);
}

api.contextMenus.onClicked.addListener(onMenuClicked);
api.action.onClicked.addListener(onToolbarClicked);
