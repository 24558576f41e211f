// Qt's own Russian translations, so that the standard dialogs, menus and
// buttons the toolkit draws (the file dialog's buttons and labels, the
// message boxes' Yes/No, a line edit's context menu) speak the program's
// language. The program's own texts are Russian already and are not
// translated. Window's thread.
#pragma once

class QTranslator;

namespace ksv {

// Loads qtbase_ru.qm (or windeployqt's qt_ru.qm), looking first in
// "translations" beside the program (where the Windows build ships it), then
// in Qt's own translations folder, and
// installs it in the application, which owns it. Returns it, or null when none
// was found (the toolkit's texts then stay English).
QTranslator* LoadToolkitTranslations();

} // namespace ksv
