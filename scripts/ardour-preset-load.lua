-- SPDX-License-Identifier: GPL-3.0-or-later
-- Run by scripts/ardour-preset-load in Ardour's headless Lua session: a
-- session with the plug-in on a track, a user preset saved, then loaded.
-- Ardour holds its process lock while it hands the preset over.
local dir = os.getenv("LAGWELL_SESSION_DIR")
AudioEngine:set_backend("None (Dummy)", "", "")
AudioEngine:start(false)
local session = create_session(dir, "preset-load", 48000)
assert(session, "no session")
local tracks = session:new_audio_track(1, 2, nil, 1, "track", ARDOUR.PresentationInfo.max_order,
                                       ARDOUR.TrackMode.Normal, true)
local plugin = ARDOUR.LuaAPI.new_plugin(session, "Lagwell", ARDOUR.PluginType.VST3, "")
assert(not plugin:isnil(), "Ardour does not list the plug-in")
tracks:front():add_processor_by_index(plugin, 0, nil, true)
local instance = plugin:to_insert():plugin(0)
local preset = instance:save_preset("mine")
print("saved the user preset " .. preset.uri)
io.stdout:flush()
assert(instance:load_preset(preset), "the preset did not load")
print("loaded the user preset")
close_session()
