#pragma once

// Qt's own texts in Traditional Chinese: the folder chooser's labels and
// buttons, the message boxes' buttons, the edit boxes' context menus. The
// program's windows are Traditional Chinese whatever the desktop's language,
// and the toolkit's parts of them follow; a desktop without the catalogue
// keeps the toolkit's English.
class CToolkitTranslation {
public:
    // Loads Qt's Traditional Chinese catalogue from Qt's translations folder
    // into the running application, which owns it from then on; false when the
    // folder has no such catalogue.
    static bool Install();
};
