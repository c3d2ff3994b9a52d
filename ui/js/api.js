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
            const { token } = await request("POST", "/page/session", {}, { code });
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

async function request(method, path, query = {}, body = undefined) {
    const url = new URL(path, window.location.origin);
    for (const [key, value] of Object.entries(query)) {
        url.searchParams.set(key, String(value));
    }
    const options = { method, headers: credentialHeaders() };
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
        throw new (response.status === 403 ? NotAllowedError : ApiError)(reason);
    }
    return document;
}

export const api = {
    devices: () => request("GET", "/devices"),
    capabilities: (device) => request("GET", "/devices/capabilities", { device }),
    otherDevices: () => request("GET", "/devices/other"),
    chooseOtherDevice: (take, { vendor, product, serial }) =>
        request("POST", "/devices/other", {}, { take, vendor, product, serial }),
    status: () => request("GET", "/status"),
    apps: (device) => request("GET", "/config/apps", { device }),
    addApp: (device, identifier, name) => request("POST", "/config/apps", { device }, { identifier, name }),
    removeApp: (device, identifier) => request("DELETE", "/config/apps", { device }, { identifier }),
    buttons: (device, app) => request("GET", "/config/buttons", { device, app, button: 0 }),
    setButton: (device, app, mask, action) =>
        request("POST", "/config/buttons", { device, app, button: mask }, action),
    pointer: (device, app) => request("GET", "/config/pointer", { device, app }),
    setPointer: (device, app, settings) => request("POST", "/config/pointer", { device, app }, settings),
    scroll: (device, app) => request("GET", "/config/scroll", { device, app }),
    setScroll: (device, app, settings) => request("POST", "/config/scroll", { device, app }, settings),
    snippets: (device, app) => request("GET", "/config/snippets", { device, app }),
    favapps: (device, count) => request("GET", "/favapps", { device, count }),
    settings: () => request("GET", "/config"),
    replaceSettings: (text) => request("POST", "/config", {}, text),
};

// A learn moment: for a while every button of the trackball reaches the page
// as button events and runs no action, so that the page can ask for a press.
api.startLearning = (device, seconds) => request("POST", "/devices/learn", { device }, { seconds });
api.endLearning = (device) => request("DELETE", "/devices/learn", { device });
