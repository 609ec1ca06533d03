// Talks to the desktop app through the native host the two ways an extension
// can, and sends every reply back inside its next message, so that the app's
// record shows each round trip whole.
const HOST = "com.tavorin.desktop";

function log(...parts) {
  console.log("[bridge-test]", ...parts);
}

function overPort(messages) {
  return new Promise((resolve, reject) => {
    const port = chrome.runtime.connectNative(HOST);
    const replies = [];
    let next = 0;
    const sendNext = () => {
      const message = { ...messages[next], prev: replies.at(-1) ?? null };
      next += 1;
      port.postMessage(message);
    };
    port.onMessage.addListener((reply) => {
      log("port reply", JSON.stringify(reply).slice(0, 200));
      replies.push(reply);
      if (next < messages.length) {
        sendNext();
      } else {
        port.disconnect();
        resolve(replies);
      }
    });
    port.onDisconnect.addListener(() => {
      reject(new Error(chrome.runtime.lastError?.message ?? "port closed"));
    });
    sendNext();
  });
}

async function run() {
  const replies = await overPort([
    { phase: "port", seq: 1, text: "hello" },
    { phase: "port", seq: 2, text: "Grüße, 世界 🔧" },
    { phase: "port", seq: 3, text: "x".repeat(1000000) },
  ]);
  let previous = replies.at(-1);
  for (const seq of [4, 5]) {
    previous = await chrome.runtime.sendNativeMessage(HOST, {
      phase: "oneshot",
      seq,
      prev: previous,
    });
    log("oneshot reply", JSON.stringify(previous));
  }
  await chrome.runtime.sendNativeMessage(HOST, { phase: "done", prev: previous });
  log("done");
}

run().catch((error) => log("failed:", error.message));
