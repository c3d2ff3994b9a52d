// The page's place in its address, so that a reload and the back button keep
// it: the trackball and the profile in the query, the section in the fragment
// (the sections' own anchors).
const DEVICE = "device";
const APP = "app";

export function placeInAddress() {
    const query = new URL(window.location.href).searchParams;
    const device = query.get(DEVICE);
    return { device: device !== null && /^\d+$/.test(device) ? Number(device) : null, app: query.get(APP) };
}

// how: "push" (a step the back button returns from) or "replace".
export function showPlace({ device, app }, how) {
    const address = new URL(window.location.href);
    const query = address.searchParams;
    if (device === null) query.delete(DEVICE);
    else query.set(DEVICE, String(device));
    if (device === null || app === null) query.delete(APP);
    else query.set(APP, app);
    if (address.href === window.location.href) return;
    if (how === "push") window.history.pushState(null, "", address);
    else window.history.replaceState(null, "", address);
}
