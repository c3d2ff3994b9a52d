// Wires the sections to the chosen trackball and profile and to the helper's events.
import { api, NotAllowedError, takeCredential } from "./api.js";
import { showError } from "./dom.js";
import { listenToHelper } from "./events.js";
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
    app: "*",
    chooseDevice(device) {
        if (device === this.device) return;
        this.device = device;
        this.app = "*";
        reload();
    },
    chooseApp(app) {
        if (app === this.app) return;
        this.app = app;
        reload();
    },
};

// The page without the helper's credential: a note on how to open it.
function showLocked() {
    section("locked").hidden = false;
    document.querySelector("main").hidden = true;
    section("connection").hidden = true;
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

function reload() {
    document.body.classList.toggle("no-device", state.device === null);
    return guarded(() => Promise.all([profiles.load(), ...profileViews.map((view) => view.load())]));
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
