// Wires the sections to the chosen trackball and profile, the page's address
// and the helper's events; the undo of saved changes, and what the page does
// when the settings changed elsewhere.
import { api, NotAllowedError, onStale, readAfresh, takeCredential } from "./api.js";
import { showError } from "./dom.js";
import { listenToHelper } from "./events.js";
import { placeInAddress, showPlace } from "./place.js";
import { GLOBAL } from "./settings.js";
import { onUndoChange, undoLast } from "./undo.js";
import { DevicesView, OtherDevicesView, showStatus } from "./views/devices.js";
import { ProfilesView } from "./views/profiles.js";
import { ButtonsView } from "./views/buttons.js";
import { PointerView, ScrollView } from "./views/motion.js";
import { SnippetsView } from "./views/snippets.js";
import { TransferView } from "./views/transfer.js";

const section = (id) => document.getElementById(id);
const pageError = section("page-error");

// The views, made once the page holds its credential.
let devices, otherDevices, profiles, buttons, profileViews;

const state = {
    device: null,
    app: GLOBAL,
    present: [],
    names: new Map(),
    profileName() {
        return this.app === GLOBAL ? "global profile" : this.names.get(this.app) ?? this.app;
    },
    // how: "push" for the person's own choice, "replace" for the page's, "none" for one the address made.
    go(device, app, how) {
        if (device === this.device && app === this.app) return;
        this.device = device;
        this.app = app;
        if (how !== "none") showPlace({ device, app: device === null ? null : app }, how);
        reload();
    },
    chooseDevice(device) {
        this.go(device, GLOBAL, "push");
    },
    chooseApp(app, how = "push") {
        this.go(this.device, app, how);
    },
    // The trackballs present: the chosen one stays; else the one the address names, else the first.
    keepPresentDevice(ids) {
        this.present = ids;
        if (ids.includes(this.device)) return;
        const asked = placeInAddress();
        if (ids.includes(asked.device)) this.go(asked.device, asked.app ?? GLOBAL, "replace");
        else this.go(ids[0] ?? null, GLOBAL, "replace");
    },
};

// The back and forward buttons: the place the address names.
window.addEventListener("popstate", () => {
    const { device, app } = placeInAddress();
    if (state.present.includes(device)) state.go(device, app ?? GLOBAL, "none");
});

// The page without the helper's credential: a note on how to open it.
function showLocked() {
    section("locked").hidden = false;
    document.querySelector("main").hidden = true;
    section("connection").hidden = true;
    section("sections").hidden = true;
}

async function guarded(work) {
    try {
        await work();
        showError(pageError, null);
    } catch (error) {
        if (error instanceof NotAllowedError) showLocked();
        else showError(pageError, error);
    }
}

let placeShown = false;
let reloads = Promise.resolve();

// One reload at a time, in order, so that an older one never draws over a newer.
// keepTyped: what the person changed and did not save stays as typed (after a
// save was refused because the settings changed elsewhere).
function reload(options = {}) {
    reloads = reloads.then(() => loadChosen(options));
    return reloads;
}

async function loadChosen(options) {
    document.body.classList.toggle("no-device", state.device === null);
    // What the page reads now is what it shows: changes name this revision, and none is stale.
    readAfresh();
    section("stale").hidden = true;
    await guarded(async () => {
        const { device, app } = state;
        // The profiles first: a profile the address names may be gone, and choosing another reloads.
        await profiles.load(options);
        if (state.device !== device || state.app !== app) return;
        await Promise.all(profileViews.map((view) => view.load(options)));
        // The section the address names, once its content is there.
        if (!placeShown && state.device !== null && window.location.hash) {
            placeShown = true;
            document.getElementById(window.location.hash.slice(1))?.scrollIntoView();
        }
    });
}

function showSectionInAddress() {
    for (const link of section("sections").querySelectorAll("a")) {
        if (link.hash === window.location.hash) link.setAttribute("aria-current", "location");
        else link.removeAttribute("aria-current");
    }
}

function setUpUndo() {
    const button = section("undo");
    const done = section("undo-done");
    onUndoChange((description) => {
        button.hidden = description === null;
        button.textContent = description === null ? "" : `Undo: ${description}`;
    });
    async function undo() {
        await guarded(async () => {
            const description = await undoLast();
            if (description === null) return;
            done.textContent = `Undone: ${description}`;
            await reload();
        });
    }
    button.addEventListener("click", undo);
    // Ctrl+Z outside text fields, where it belongs to the field.
    document.addEventListener("keydown", (event) => {
        if (!(event.ctrlKey || event.metaKey) || event.shiftKey || event.altKey || event.key.toLowerCase() !== "z") return;
        const target = event.target;
        const typing = target.closest?.("textarea, select, [contenteditable]")
            || (target instanceof HTMLInputElement && !["checkbox", "radio", "button", "submit", "range"].includes(target.type));
        if (typing) return;
        event.preventDefault();
        undo();
    });
}

function setUpStaleNotice() {
    const notice = section("stale");
    // Where the refused save was asked for: the person goes back there to save again.
    let askedFrom = null;
    onStale(() => {
        askedFrom = document.activeElement;
        notice.hidden = false;
    });
    section("stale-reload").addEventListener("click", async () => {
        await reload({ keepTyped: true });
        if (askedFrom?.isConnected) askedFrom.focus();
    });
}

async function start() {
    if (!(await takeCredential())) {
        showLocked();
        return;
    }
    devices = new DevicesView(section("devices-body"), state);
    otherDevices = new OtherDevicesView(section("other-devices-body"));
    profiles = new ProfilesView(section("profiles-body"), state);
    buttons = new ButtonsView(section("buttons-body"), state);
    profileViews = [buttons, new PointerView(section("pointer-body"), state),
        new ScrollView(section("scroll-body"), state), new SnippetsView(section("snippets-body"), state)];
    new TransferView(section("transfer-body"), () => reload());
    setUpUndo();
    setUpStaleNotice();
    window.addEventListener("hashchange", showSectionInAddress);
    showSectionInAddress();
    const connection = section("connection");
    listenToHelper({
        onDevices: (document) => devices.show(document),
        onButton: (event) => buttons.highlight(event),
        onLearn: (event) => buttons.learnChanged(event),
        onStatus: (document) => showStatus(section("status-notices"), document),
        onOtherDevices: (document) => otherDevices.show(document),
        onState: (open) => {
            connection.textContent = open ? "Connected to the helper" : "Not connected to the helper — retrying";
            connection.classList.toggle("offline", !open);
        },
        onRefused: showLocked,
    });
    guarded(async () => devices.show(await api.devices()));
    guarded(async () => otherDevices.show(await api.otherDevices()));
    guarded(async () => showStatus(section("status-notices"), await api.status()));
}

start();
