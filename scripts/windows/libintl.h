/* A proxy libintl for the Windows build of the toolkit: every message is
 * returned untranslated. The navigator's own texts are Polish in the source,
 * and no catalogue ships with it. */
#ifndef VELMORA_PROXY_LIBINTL_H
#define VELMORA_PROXY_LIBINTL_H

#include <locale.h>
#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

/* The translation comes back in place of the format it was given: the
   compiler checks a format passed through these calls as it stands. */
#define VELMORA_FORMAT_ARG(n) __attribute__((__format_arg__(n)))

#ifdef VELMORA_BUILDING_INTL
#define VELMORA_INTL_API __declspec(dllexport)
#else
#define VELMORA_INTL_API __declspec(dllimport)
#endif

VELMORA_INTL_API char *gettext(const char *msgid) VELMORA_FORMAT_ARG(1);
VELMORA_INTL_API char *dgettext(const char *domain, const char *msgid) VELMORA_FORMAT_ARG(2);
VELMORA_INTL_API char *dcgettext(const char *domain, const char *msgid, int category) VELMORA_FORMAT_ARG(2);
VELMORA_INTL_API char *ngettext(const char *msgid, const char *plural, unsigned long n) VELMORA_FORMAT_ARG(1)
    VELMORA_FORMAT_ARG(2);
VELMORA_INTL_API char *dngettext(const char *domain, const char *msgid, const char *plural, unsigned long n)
    VELMORA_FORMAT_ARG(2) VELMORA_FORMAT_ARG(3);
VELMORA_INTL_API char *dcngettext(const char *domain, const char *msgid, const char *plural, unsigned long n,
                                  int category) VELMORA_FORMAT_ARG(2) VELMORA_FORMAT_ARG(3);
VELMORA_INTL_API char *textdomain(const char *domain);
VELMORA_INTL_API char *bindtextdomain(const char *domain, const char *directory);
VELMORA_INTL_API char *bind_textdomain_codeset(const char *domain, const char *codeset);
VELMORA_INTL_API wchar_t *wbindtextdomain(const char *domain, const wchar_t *directory);

#ifdef __cplusplus
}
#endif

#endif
