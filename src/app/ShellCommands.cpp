#include "app/ShellCommands.h"

#include "app/DesktopLauncher.h"
#include "app/HelpLinks.h"
#include "app/TForm_about.h"
#include "widgets/DesktopOpener.h"
#include "widgets/Modal.h"

#include <QWidget>

namespace qv {

ShellCommands::ShellCommands(QWidget* window) : QObject(window), m_window(window) {}

TForm_about* ShellCommands::aboutBox()
{
    if (!m_about)
        m_about = new TForm_about(DesktopOpener::system(), m_window);
    return m_about;
}

void ShellCommands::N12Click() { execModal(*aboutBox()); }
void ShellCommands::mmhomepageClick() { openHomePage(DesktopOpener::system()); }
void ShellCommands::mmemailClick() { openMail(DesktopOpener::system()); }
void ShellCommands::N14Click() { openHelp(DesktopOpener::system()); }
// Whatever happens is not reported.
void ShellCommands::mmlinkClick() { createDesktopLauncher(); }

}  // namespace qv
