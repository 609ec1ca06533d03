// Talks to the desktop app through the native host both ways an extension
// can: a short message, text outside ASCII and about 900 KB over one
// connectNative port, then one sendNativeMessage. It checks that each answer
// echoes its message whole and posts its account to RESULTS_URL, which the
// test writes into results.js.
const HOST = "com.tavorin.desktop";
const PORT_MESSAGES = [{ n: 1 }, { text: "Grüße, 世界 🔧" }, { big: "é".repeat(450000) }];
const ONESHOT_MESSAGE = { oneshot: "Grüße über sendNativeMessage" };

// What the extension saw of one answer, without the answer itself.
const account = (message, answer) => ({
  ok: answer?.ok === true,
  echoed: JSON.stringify(answer?.echo) === JSON.stringify(message),
  bytes: new TextEncoder().encode(JSON.stringify(answer)).length,
});

const overOnePort = () =>
  new Promise((resolve, reject) => {
    const port = browser.runtime.connectNative(HOST);
    const answers = [];
    port.onMessage.addListener((answer) => {
      answers.push(account(PORT_MESSAGES[answers.length], answer));
      if (answers.length < PORT_MESSAGES.length) return;
      port.disconnect();
      resolve(answers);
    });
    port.onDisconnect.addListener((closed) =>
      reject(new Error(closed.error?.message ?? "the port closed early")));
    for (const message of PORT_MESSAGES) port.postMessage(message);
  });

(async () => {
  const report = {};
  try {
    report.port = await overOnePort();
    const answer = await browser.runtime.sendNativeMessage(HOST, ONESHOT_MESSAGE);
    report.oneshot = account(ONESHOT_MESSAGE, answer);
  } catch (error) {
    report.error = String(error?.message ?? error);
  }
  await fetch(RESULTS_URL, { method: "POST", mode: "no-cors", body: JSON.stringify(report) });
})();
