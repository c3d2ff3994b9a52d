// The helper's live events: trackballs arriving and leaving, button presses,
// the helper's status notices.
// The browser's EventSource reconnects by itself when the stream breaks.

export function listenToHelper({ onDevices, onButton, onStatus, onState }) {
    const source = new EventSource("/events");
    source.addEventListener("devices", (event) => onDevices(JSON.parse(event.data)));
    source.addEventListener("button", (event) => onButton(JSON.parse(event.data)));
    source.addEventListener("status", (event) => onStatus(JSON.parse(event.data)));
    source.addEventListener("open", () => onState(true));
    source.addEventListener("error", () => onState(false));
    return source;
}
