///////////////////////////////////////////////////////////////////////////////
// The translation macro of this program.
//
// The user texts are UTF-8 literals. The toolkit's own "_" would convert them
// with the C library's current locale, which fails for Chinese under "C" or
// any non-UTF-8 locale; convert them explicitly, then look them up.
// (WXINTL_NO_GETTEXT_MACRO is defined by the build.)
///////////////////////////////////////////////////////////////////////////////

#ifndef SIDEKEY_APP_TRANSLATE_H
#define SIDEKEY_APP_TRANSLATE_H

#include <wx/string.h>
#include <wx/translation.h>

#define _(s) wxGetTranslation(wxString::FromUTF8(s))

#endif // SIDEKEY_APP_TRANSLATE_H
