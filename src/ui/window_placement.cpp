#include "window_placement.h"

#include <QScreen>
#include <QWidget>

#include <algorithm>

namespace tramelo {

void placeBeside(const QWidget &main, QWidget &window, int narrowestWidth)
{
    const QScreen *screen = main.screen();
    if (!screen)
        return;
    const QRect area = screen->availableGeometry();
    const QRect mainFrame = main.frameGeometry();
    // The window's frame is not known before it is shown: as wide as the main one's.
    const QSize frameRoom = mainFrame.size() - main.size();
    const int roomRight = area.right() - mainFrame.right();
    const int roomLeft = mainFrame.left() - area.left();
    const int room = std::max(roomRight, roomLeft) - frameRoom.width();
    if (room < std::max(narrowestWidth, window.minimumSizeHint().width()))
        return;
    const int width = std::min(window.width(), room);
    const int height = std::min(window.height(), area.height() - frameRoom.height());
    window.resize(width, height);
    const int x = roomRight >= roomLeft ? mainFrame.right() + 1 : mainFrame.left() - width - frameRoom.width();
    const int y = std::clamp(mainFrame.top(), area.top(), area.bottom() + 1 - height - frameRoom.height());
    window.move(x, y);
}

} // namespace tramelo
