// The program's small pictures, drawn rather than loaded: the transport symbols for buttons and menu
// items, and the program's own icon.
#pragma once

#include <QIcon>

namespace tunelo {

QIcon PreviousPicture(); // bar and two triangles pointing left
QIcon PlayPicture();     // triangle pointing right
QIcon NextPicture();     // two triangles pointing right and a bar
QIcon PausePicture();    // two bars
QIcon StopPicture();     // square
QIcon TuneloProgramIcon();

} // namespace tunelo
