// The trackballs present and the other pointing devices, kept current by the event stream.
import { api } from "../api.js";
import { el, errorLine, showError } from "../dom.js";

export class DevicesView {
    constructor(root, state) {
        this.root = root;
        this.state = state;
    }

    show(document) {
        const present = (document?.devices ?? []).filter((device) => device.present);
        this.state.keepPresentDevice(present.map((device) => device.id));
        const list = el("ul", { class: "devices" }, present.map((device) => {
            const choice = el("input", { type: "radio", name: "device", value: device.id, id: `device-${device.id}`,
                checked: device.id === this.state.device });
            choice.addEventListener("change", () => this.state.chooseDevice(device.id));
            const declares = el("span", { class: "device-declares" });
            showDeclared(device.id, declares);
            return el("li", {}, [choice, el("label", { for: choice.id }, [
                el("strong", { class: "device-name", text: device.name }),
                el("span", { text: ` — ${device.interface.toUpperCase()}, version ${device.version}` }),
                declares,
            ])]);
        }));
        const empty = el("p", { class: "empty", text: "No trackball is connected. Plug one in: it appears here." });
        this.root.replaceChildren(present.length ? list : empty);
    }
}

// What a descriptor declares, in words: "6 buttons, wheel, tilt".
function declaredInWords({ buttons, wheel, pan }) {
    return [buttons ? `${buttons} buttons` : null, wheel ? "wheel" : null, pan ? "tilt" : null].filter(Boolean);
}

// A trackball's buttons, wheel and tilt as its driver tells them. Left empty
// when the driver does not tell (before 2.2) or the trackball left meanwhile:
// the row then says what it said before.
async function showDeclared(id, target) {
    try {
        const words = declaredInWords(await api.capabilities(id));
        target.textContent = words.length ? `, ${words.join(", ")}` : "";
    } catch {
        target.textContent = "";
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

const hex4 = (value) => value.toString(16).padStart(4, "0");
const choiceKey = "obx-chosen-devices";

// The devices this page chose: once served they leave the helper's list, so
// the page keeps them to offer letting them go.
function chosenHere() {
    try {
        const chosen = JSON.parse(window.localStorage.getItem(choiceKey) ?? "[]");
        return Array.isArray(chosen) ? chosen : [];
    } catch {
        return [];
    }
}

function sameDevice(a, b) {
    return a.vendor === b.vendor && a.product === b.product && (a.serial ?? "") === (b.serial ?? "");
}

// The pointing devices present that the driver does not serve, each with the
// choice to have it served with these settings; one it cannot serve shows why.
export class OtherDevicesView {
    constructor(root) {
        this.root = root;
        this.error = errorLine();
        this.document = { devices: [] };
    }

    show(document) {
        this.document = document ?? { devices: [] };
        const offered = this.document.devices ?? [];
        const chosen = chosenHere().filter((device) => !offered.some((other) => sameDevice(device, other)));
        const rows = [
            ...offered.map((device) => this.row(device, device.unservable
                ? el("span", { class: "hint", text: `Cannot be used: ${device.unservable}` })
                : el("button", { type: "button", text: "Use with these settings",
                    "aria-label": `Use ${device.name || device.id} with these settings`,
                    onclick: () => this.choose(true, device) }))),
            ...chosen.map((device) => this.row(device, el("span", {}, [
                el("span", { class: "hint", text: "Served with these settings " }),
                el("button", { type: "button", text: "Let go",
                    "aria-label": `Let ${device.name || device.id} go back to the system's own input`,
                    onclick: () => this.choose(false, device) })]))),
        ];
        const empty = el("p", { class: "empty", text: "No other mouse or pointing device is connected." });
        this.root.replaceChildren(rows.length ? el("ul", { class: "devices other-devices" }, rows) : empty,
            this.error);
    }

    row(device, control) {
        const ids = `${hex4(device.vendor)}:${hex4(device.product)}`;
        const details = [ids, device.serial ? `serial ${device.serial}` : null, ...declaredInWords(device)]
            .filter(Boolean).join(", ");
        return el("li", { class: "other-device", "data-id": ids }, [
            el("strong", { class: "device-name", text: device.name || "Unnamed device" }),
            el("span", { text: ` — ${details} ` }), control]);
    }

    async choose(take, device) {
        showError(this.error, null);
        try {
            const document = await api.chooseOtherDevice(take, device);
            const kept = chosenHere().filter((other) => !sameDevice(other, device));
            const { vendor, product, serial = "", name = "" } = device;
            window.localStorage.setItem(choiceKey,
                JSON.stringify(take ? [...kept, { vendor, product, serial, name }] : kept));
            this.show(document);
        } catch (error) {
            showError(this.error, error);
        }
    }
}
