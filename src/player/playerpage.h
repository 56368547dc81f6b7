#pragma once

#include <QString>

namespace orvy::player {

// The HTML page that plays one lesson: a video element filling the view, starting
// by itself, with the browser's own controls. The link is escaped for the double-
// quoted src attribute, so the video element receives it exactly as stored and a
// quote or "<" in a link cannot end the attribute or add markup.
QString buildPlayerPage(const QString &link);

// The script run right after loading the page. It names a function this engine
// does not have; it is run as is and fails without effect.
QString fullScreenScript();

} // namespace orvy::player
