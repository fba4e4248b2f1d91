// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Qt's own texts (the file dialogs, the overwrite prompt, the message boxes' buttons) in the
// user's language, from Qt's translations installed with the system. The program's own texts
// are Chinese already and never pass through a translator.

#include <QString>

namespace platform {

// Loads Qt's translation for the user's locale into the application and returns the file's
// language ("zh_CN"), or an empty text when there is none (an English desktop, or the
// translations are not installed). Call once, after the application object exists.
QString installQtTranslations();

}  // namespace platform
