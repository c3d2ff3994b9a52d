// The helper's HTTP API as the page uses it. Every failure becomes an ApiError
// carrying the helper's own reason, so views can show it beside what caused it.

export class ApiError extends Error {}

async function request(method, path, query = {}, body = undefined) {
    const url = new URL(path, window.location.origin);
    for (const [key, value] of Object.entries(query)) {
        url.searchParams.set(key, String(value));
    }
    const options = { method, headers: {} };
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
        throw new ApiError(reason);
    }
    return document;
}

export const api = {
    devices: () => request("GET", "/devices"),
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
