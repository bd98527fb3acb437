#pragma once
class QCoreApplication;

// The program speaks Japanese whatever the system's locale, so Qt's own
// texts (Yes/No, the folder chooser, the edit menus) must too: this loads
// Qt's Japanese translation of its base module. Without the translation
// the program still runs, with English standard texts, and says so on
// stderr.
namespace QtJapanese {

bool Install(QCoreApplication& application);

}  // namespace QtJapanese
