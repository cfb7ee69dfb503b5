// The cookie readers' rules as tables: the Netscape file format, where one
// site ends, what is hidden in printed lines, and Chromium's encryption.
#include <gtest/gtest.h>

#include "cookies/ChromiumDecrypt.h"
#include "cookies/NetscapeCookies.h"
#include "report/Secrets.h"
#include "shared/SiteName.h"

namespace tarnfetch {
namespace {

TEST(CookieTables, NetscapeLinesRoundTrip) {
  struct Case {
    const char* line;
    const char* domain;
    bool httpOnly, secure;
    long long expires;
    const char* name;
    const char* value;
  };
  const Case cases[] = {
      {"example.com\tFALSE\t/\tFALSE\t0\tsid\tabc", "example.com", false, false, 0, "sid", "abc"},
      {"#HttpOnly_.example.com\tTRUE\t/p\tTRUE\t1999999999\tsid\ta b", ".example.com", true, true,
       1999999999, "sid", "a b"},
      // The flag decides over the dot; an empty value is a value.
      {"example.com\tTRUE\t/\tFALSE\t0\tsid\t", ".example.com", false, false, 0, "sid", ""},
      {"Example.COM\tfalse\t/\tfalse\t0\tsid\tX", "example.com", false, false, 0, "sid", "X"},
  };
  for (const Case& c : cases) {
    const auto cookies = ParseNetscapeCookies(c.line);
    ASSERT_EQ(cookies.size(), 1u) << c.line;
    const Cookie& got = cookies[0];
    EXPECT_EQ(got.domain, c.domain) << c.line;
    EXPECT_EQ(got.httpOnly, c.httpOnly) << c.line;
    EXPECT_EQ(got.secure, c.secure) << c.line;
    EXPECT_EQ(got.expires, c.expires) << c.line;
    EXPECT_EQ(got.name, c.name) << c.line;
    EXPECT_EQ(got.value, c.value) << c.line;
    EXPECT_EQ(ParseNetscapeCookies(NetscapeLine(got)).at(0).domain, got.domain) << c.line;
  }
  // Comments, blank lines and lines with other field counts are no cookies.
  EXPECT_TRUE(ParseNetscapeCookies("# Netscape HTTP Cookie File\n\nhost\tFALSE\t/\n"
                                   "host\tFALSE\t/\tFALSE\t0\t\tv\n")
                  .empty());
}

TEST(CookieTables, SiteOfHost) {
  const std::pair<const char*, const char*> cases[] = {
      {"www.example.com", "example.com"},
      {"a.b.example.co.uk", "example.co.uk"},
      {"Example.COM.", "example.com"},
      {"127.0.0.2", "127.0.0.2"},
      {"::1", "::1"},
      {"localhost", "localhost"},
      {"user.github.io", "user.github.io"},
      {"co.uk", "co.uk"},
  };
  for (const auto& [host, site] : cases) EXPECT_EQ(quillmarsh::SiteOfHost(host), site) << host;
}

TEST(CookieTables, DomainInSite) {
  const std::tuple<const char*, const char*, bool> cases[] = {
      {"example.com", "example.com", true},     {".www.example.com", "example.com", true},
      {"badexample.com", "example.com", false}, {"example.com.evil", "example.com", false},
      {"127.0.0.2", "127.0.0.2", true},         {"127.0.0.3", "127.0.0.2", false},
  };
  for (const auto& [domain, site, in] : cases) {
    EXPECT_EQ(quillmarsh::DomainInSite(domain, site), in) << domain << " in " << site;
  }
}

TEST(CookieTables, HostOfUrl) {
  const std::pair<const char*, const char*> cases[] = {
      {"https://user:pw@Video.Example.com:8080/x?y", "video.example.com"},
      {"http://[::1]:80/", "::1"},
      {"no address", ""},
  };
  for (const auto& [url, host] : cases) EXPECT_EQ(quillmarsh::HostOfUrl(url), host) << url;
}

TEST(CookieTables, CookieHeadersAreHidden) {
  const std::pair<const char*, const char*> cases[] = {
      {"sent Cookie: sid=abc; b=c\nnext", "sent Cookie: ***\nnext"},
      {"set-cookie:sid=abc", "set-cookie: ***"},
      {"https://u:p@host/ and COOKIE: x", "https://***@host/ and COOKIE: ***"},
      {"cookies are needed", "cookies are needed"},
  };
  for (const auto& [text, shown] : cases) EXPECT_EQ(HideSecrets(text), shown) << text;
}

TEST(CookieTables, ChromiumValuesOpenOnlyWithTheirKey) {
  const std::string key = ChromiumKey("peanuts");
  const std::string sealed = EncryptChromiumValue("value", key, ".example.com");
  EXPECT_EQ(DecryptChromiumValue(sealed, key, ".example.com"), "value");
  // Another host's digest is not taken off; another key does not open it.
  EXPECT_EQ(DecryptChromiumValue(sealed, key, "example.com")->size(), 32u + 5u);
  EXPECT_EQ(DecryptChromiumValue(sealed, ChromiumKey("other"), ".example.com"), std::nullopt);
}

}  // namespace
}  // namespace tarnfetch
