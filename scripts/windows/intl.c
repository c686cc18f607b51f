/* The proxy libintl: messages untranslated, domains and directories remembered
 * only so that the getters answer what was set. */
#define VELMORA_BUILDING_INTL
#include "libintl.h"

#include <stddef.h>

static const char *currentDomain = "messages";

char *gettext(const char *msgid) { return (char *)msgid; }

char *dgettext(const char *domain, const char *msgid) {
  (void)domain;
  return (char *)msgid;
}

char *dcgettext(const char *domain, const char *msgid, int category) {
  (void)domain;
  (void)category;
  return (char *)msgid;
}

char *ngettext(const char *msgid, const char *plural, unsigned long n) { return (char *)(n == 1 ? msgid : plural); }

char *dngettext(const char *domain, const char *msgid, const char *plural, unsigned long n) {
  (void)domain;
  return ngettext(msgid, plural, n);
}

char *dcngettext(const char *domain, const char *msgid, const char *plural, unsigned long n, int category) {
  (void)domain;
  (void)category;
  return ngettext(msgid, plural, n);
}

/* The domain names passed in are string literals of the libraries. */
char *textdomain(const char *domain) {
  if (domain != NULL) currentDomain = domain;
  return (char *)currentDomain;
}

char *bindtextdomain(const char *domain, const char *directory) {
  (void)domain;
  return (char *)directory;
}

char *bind_textdomain_codeset(const char *domain, const char *codeset) {
  (void)domain;
  return (char *)codeset;
}

wchar_t *wbindtextdomain(const char *domain, const wchar_t *directory) {
  (void)domain;
  return (wchar_t *)directory;
}
