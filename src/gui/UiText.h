#pragma once
// The windows' texts by identifier (see app/LanguageTable.h): the language file's, else the
// program's own.
#include "app/LanguageTable.h"

#include <QString>

namespace tw {

inline QString uiText(int id)
{
    return QString::fromStdString(activeLanguage().text(id));
}

} // namespace tw
