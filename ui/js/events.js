// The helper's live events: trackballs arriving and leaving, button presses,
// the helper's status notices, the other pointing devices coming and going.
// Read with fetch rather than EventSource: EventSource sends no headers, so
// the page's token would have to go into the address (where logs and the
// browser's history keep it) or into a cookie (which the browser sends to
// every port of the host). Like EventSource, the reader connects again when
// the stream breaks.
import { credentialHeaders } from "./api.js";

const retryMs = 2000;

// Hands each whole event of the text to onEvent(type, data) and returns what
// is left of an event not yet complete.
function takeEvents(text, onEvent) {
    const blocks = text.split(/\r?\n\r?\n/);
    const rest = blocks.pop();
    for (const block of blocks) {
        let type = "message";
        const data = [];
        for (const line of block.split(/\r?\n/)) {
            if (line.startsWith(":")) continue; // a keep-alive comment
            const colon = line.indexOf(":");
            const name = colon < 0 ? line : line.slice(0, colon);
            const value = colon < 0 ? "" : line.slice(colon + 1).replace(/^ /, "");
            if (name === "event") type = value;
            else if (name === "data") data.push(value);
        }
        if (data.length) onEvent(type, data.join("\n"));
    }
    return rest;
}

// onRefused: the helper does not take the page's credential (it was
// restarted, or the page was not opened by it); nothing is tried again then.
export function listenToHelper({ onDevices, onButton, onLearn, onStatus, onOtherDevices, onState, onRefused }) {
    const handlers = { devices: onDevices, button: onButton, learn: onLearn, status: onStatus,
        otherDevices: onOtherDevices };
    async function connect() {
        try {
            const response = await fetch("/events", { headers: credentialHeaders(), cache: "no-store" });
            if (response.status === 403) {
                onState(false);
                onRefused();
                return;
            }
            if (!response.ok || !response.body) throw new Error(`status ${response.status}`);
            onState(true);
            const reader = response.body.pipeThrough(new TextDecoderStream()).getReader();
            let pending = "";
            for (;;) {
                const { value, done } = await reader.read();
                if (done) break;
                pending = takeEvents(pending + value, (type, data) => handlers[type]?.(JSON.parse(data)));
            }
        } catch {
            // The helper went away or the stream broke: connect again.
        }
        onState(false);
        window.setTimeout(connect, retryMs);
    }
    connect();
}
