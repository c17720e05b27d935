#pragma once

#include <QString>

// The program's texts go through GNU gettext. Tr() uses the text domain "akstarter",
// DTr() the domain "dialogs". The *Noop forms only mark a literal for extraction, for
// tables that are translated where they are shown.
QString Tr(const char *text);
QString DTr(const char *text);
// Number-dependent wording ("1 error" / "%u errors"); the caller formats the number.
QString TrN(const char *singular, const char *plural, unsigned long count);

constexpr const char *TrNoop(const char *text) { return text; }
constexpr const char *DTrNoop(const char *text) { return text; }

// Binds both domains to the catalogues below localeDir (<localeDir>/<lang>/LC_MESSAGES).
// Call after the application object exists: it has set the locale by then.
void InitTranslation(const QString &localeDir);

// The folder that holds the catalogues: the build tree's when running from it, else the
// installation's share/locale.
QString DefaultLocaleDir();
