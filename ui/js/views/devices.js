// The trackballs present, kept current by the event stream.
import { el } from "../dom.js";

export class DevicesView {
    constructor(root, state) {
        this.root = root;
        this.state = state;
    }

    show(document) {
        const present = (document?.devices ?? []).filter((device) => device.present);
        if (!present.some((device) => device.id === this.state.device)) {
            this.state.chooseDevice(present[0]?.id ?? null);
        }
        const list = el("ul", { class: "devices" }, present.map((device) => {
            const choice = el("input", { type: "radio", name: "device", value: device.id, id: `device-${device.id}`,
                checked: device.id === this.state.device });
            choice.addEventListener("change", () => this.state.chooseDevice(device.id));
            return el("li", {}, [choice, el("label", { for: choice.id }, [
                el("strong", { class: "device-name", text: device.name }),
                el("span", { text: ` — ${device.interface.toUpperCase()}, version ${device.version}` }),
            ])]);
        }));
        const empty = el("p", { class: "empty", text: "No trackball is connected. Plug one in: it appears here." });
        this.root.replaceChildren(present.length ? list : empty);
    }
}

// What the helper says the user should know: a desktop bridge or a driver
// that is not running, and the step that mends it.
export function showStatus(root, document) {
    const notices = document?.notices ?? [];
    root.replaceChildren(...notices.map((notice) =>
        el("li", { class: "notice", "data-source": notice.source, text: notice.text })));
    root.hidden = notices.length === 0;
}
