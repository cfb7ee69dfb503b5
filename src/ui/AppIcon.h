#pragma once
// The program's icon for the title bars, the taskbar and the About box.

#include <QIcon>

namespace quillmarsh {

// Every PNG size compiled into the resources (16 to 256 pixels). PNG needs
// no image plugin at run time, unlike the SVG that is installed for the
// desktop's menus.
QIcon AppIcon();

}  // namespace quillmarsh
