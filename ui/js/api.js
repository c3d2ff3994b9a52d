// The helper's HTTP API as the page uses it. Every failure becomes an ApiError
// carrying the helper's own reason, so views can show it beside what caused it.
//
// The helper opens the page with a one-time code in its address; the page
// trades it for a token that every request carries as a header. The token
// stays in this tab's sessionStorage, which only the helper's own origin
// (its port included) can read; a cookie would go to every port of the host.

export class ApiError extends Error {}

// A request the helper refused for want of the page's credential.
export class NotAllowedError extends ApiError {}

const tokenKey = "obx-page-token";
const codeParameter = "code";

// Trades the address's code, when there is one, for a token. The code goes
// from the address first, so that a reload does not bring a spent one.
// True when the page holds a token (from now or from before a reload).
export async function takeCredential() {
    const address = new URL(window.location.href);
    const code = address.searchParams.get(codeParameter);
    if (code !== null) {
        address.searchParams.delete(codeParameter);
        window.history.replaceState(null, "", address);
        try {
            const { document } = await exchange("POST", "/page/session", {}, { code });
            const { token } = document;
            window.sessionStorage.setItem(tokenKey, token);
        } catch {
            // A spent or old code: a token from before may still hold.
        }
    }
    return window.sessionStorage.getItem(tokenKey) !== null;
}

// The headers that show the helper this is the page the user opened.
export function credentialHeaders() {
    const token = window.sessionStorage.getItem(tokenKey);
    return token === null ? {} : { Authorization: `Bearer ${token}` };
}

// The settings' revision as the page shows them: taken from the first answer
// of a full reading and from the page's own saves, and named by every change,
// so that a change made elsewhere meanwhile (another window, obxctl) is refused
// rather than overwritten. Other readings leave it, so the next save finds out.
let shownRevision = null;
let readingAfresh = true;
const staleListeners = [];

// The settings changed elsewhere since the page read them; nothing was saved.
export class StaleError extends ApiError {}

async function exchange(method, path, query, body, headers = {}) {
    const url = new URL(path, window.location.origin);
    for (const [key, value] of Object.entries(query)) {
        url.searchParams.set(key, String(value));
    }
    const options = { method, headers: { ...credentialHeaders(), ...headers } };
    if (body !== undefined) {
        options.headers["Content-Type"] = "application/json";
        options.body = typeof body === "string" ? body : JSON.stringify(body);
    }
    let response;
    try {
        response = await fetch(url, options);
    } catch {
        throw new ApiError("The helper does not answer. Is obxhelper still running?");
    }
    const text = await response.text();
    let document = null;
    try {
        document = text === "" ? null : JSON.parse(text);
    } catch {
        throw new ApiError(`The helper answered something that is not JSON (status ${response.status}).`);
    }
    if (!response.ok || (document && document.success === false)) {
        const reason = document && typeof document.reason === "string" ? document.reason : `status ${response.status}`;
        const failure = response.status === 403 ? NotAllowedError : response.status === 412 ? StaleError : ApiError;
        throw new failure(reason);
    }
    return { document, revision: response.headers.get("ETag")?.match(/^"(\d+)"$/)?.[1] ?? null };
}

async function request(method, path, query = {}, body = undefined) {
    const { document, revision } = await exchange(method, path, query, body);
    if (revision !== null && readingAfresh) {
        shownRevision = revision;
        readingAfresh = false;
    }
    return document;
}

// What the page reads next replaces all it shows: changes name that revision.
export function readAfresh() {
    readingAfresh = true;
}

// Called with the StaleError when a save finds the settings changed elsewhere.
export function onStale(listener) {
    staleListeners.push(listener);
}

let saves = Promise.resolve();

// Every change of the settings goes through here: one at a time, in order, each
// naming the revision the page last read or wrote, so a change made elsewhere
// meanwhile makes it fail with StaleError instead of being overwritten.
// unconditional: a change that overwrites nothing it did not mean to (a new
// profile, an import that replaces everything); it names no revision and takes
// none, and the page reads afresh after it.
export function save(method, path, query = {}, body = undefined, { unconditional = false } = {}) {
    const attempt = saves.then(async () => {
        const headers = shownRevision === null || unconditional ? {} : { "If-Match": `"${shownRevision}"` };
        try {
            const { document, revision } = await exchange(method, path, query, body, headers);
            if (revision !== null && !unconditional) shownRevision = revision;
            return document;
        } catch (error) {
            if (error instanceof StaleError) staleListeners.forEach((listener) => listener(error));
            throw error;
        }
    });
    saves = attempt.catch(() => {});
    return attempt;
}

export const api = {
    devices: () => request("GET", "/devices"),
    capabilities: (device) => request("GET", "/devices/capabilities", { device }),
    otherDevices: () => request("GET", "/devices/other"),
    chooseOtherDevice: (take, { vendor, product, serial }) =>
        request("POST", "/devices/other", {}, { take, vendor, product, serial }),
    status: () => request("GET", "/status"),
    apps: (device) => request("GET", "/config/apps", { device }),
    // fromGlobal: a full copy of the global profile, else as the helper makes a profile.
    addApp: (device, identifier, name, fromGlobal = false) =>
        save("POST", "/config/apps", { device }, fromGlobal ? { identifier, name, from: "global" } : { identifier, name },
            { unconditional: true }),
    removeApp: (device, identifier) => save("DELETE", "/config/apps", { device }, { identifier }),
    renameApp: (device, app, name) => save("POST", "/config/apps/name", { device, app }, { name }),
    buttons: (device, app) => request("GET", "/config/buttons", { device, app, button: 0 }),
    setButton: (device, app, mask, action) =>
        save("POST", "/config/buttons", { device, app, button: mask }, action),
    pointer: (device, app) => request("GET", "/config/pointer", { device, app }),
    setPointer: (device, app, settings) => save("POST", "/config/pointer", { device, app }, settings),
    scroll: (device, app) => request("GET", "/config/scroll", { device, app }),
    setScroll: (device, app, settings) => save("POST", "/config/scroll", { device, app }, settings),
    snippets: (device, app) => request("GET", "/config/snippets", { device, app }),
    setSnippets: (device, app, snippets) => save("POST", "/config/snippets", { device, app }, { snippets }),
    favapps: (device, count) => request("GET", "/favapps", { device, count }),
    settings: () => request("GET", "/config"),
    // unconditional: an import, which replaces whatever is there.
    replaceSettings: (text, { unconditional = false } = {}) => save("POST", "/config", {}, text, { unconditional }),
};

// A learn moment: for a while every button of the trackball reaches the page
// as button events and runs no action, so that the page can ask for a press.
api.startLearning = (device, seconds) => request("POST", "/devices/learn", { device }, { seconds });
api.endLearning = (device) => request("DELETE", "/devices/learn", { device });
