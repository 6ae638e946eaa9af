// The wizard's pictures, painted rather than stored: the window icon, the header's logo and
// banner, and the tall watermark of the welcome and finish pages.
#pragma once

#include <QIcon>
#include <QPixmap>

QIcon wizard_icon();
QPixmap wizard_logo();
QPixmap wizard_banner();
QPixmap wizard_watermark();
// One of the eight frames of the connection animation (0 to 7).
QPixmap wizard_connect_frame(int frame);
