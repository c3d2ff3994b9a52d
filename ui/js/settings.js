// Changes that the helper offers only through the whole settings document:
// a profile's name and its snippets. Read, change one profile, write back.
import { api } from "./api.js";

function profileOf(settings, device, app) {
    const entry = (settings.devices ?? []).find(([id]) => Number(id) === Number(device));
    const profile = entry?.[1]?.[app];
    if (!profile) {
        throw new Error("This profile is no longer in the settings; reload the page.");
    }
    return profile;
}

async function changeProfile(device, app, change) {
    const settings = await api.settings();
    change(profileOf(settings, device, app));
    await api.replaceSettings(JSON.stringify(settings));
}

export const renameProfile = (device, app, name) =>
    changeProfile(device, app, (profile) => {
        profile.name = name;
    });

export const saveSnippets = (device, app, snippets) =>
    changeProfile(device, app, (profile) => {
        profile.config.snippets = snippets;
    });
