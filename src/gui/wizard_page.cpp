#include "gui/wizard_page.h"

#include "gui/wizard_shell.h"

#include <QFont>

wizard_page::wizard_page(wizard_shell& shell, int help_topic)
    : shell_(shell), help_topic_(help_topic) {}

wizard_settings& wizard_page::settings() noexcept {
    return shell_.settings();
}

QFont wizard_page::caption_font() {
    QFont font(QStringLiteral("Segoe UI"), 13);
    font.setStyleHint(QFont::SansSerif);
    font.setWeight(QFont::Normal);
    return font;
}
