#pragma once

class QWidget;

namespace tramelo {

// Puts a window that follows the main one beside it, on the side of the
// screen with more room, narrowed to that room down to the width given;
// where neither side has that much it stays where the system puts it.
void placeBeside(const QWidget &main, QWidget &window, int narrowestWidth);

} // namespace tramelo
