// The helper's live events: trackballs arriving and leaving, button presses.
// The browser's EventSource reconnects by itself when the stream breaks.

export function listenToHelper({ onDevices, onButton, onState }) {
    const source = new EventSource("/events");
    source.addEventListener("devices", (event) => onDevices(JSON.parse(event.data)));
    source.addEventListener("button", (event) => onButton(JSON.parse(event.data)));
    source.addEventListener("open", () => onState(true));
    source.addEventListener("error", () => onState(false));
    return source;
}
