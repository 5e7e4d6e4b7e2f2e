// The cache search's test of one entry against the address field.
#include <gtest/gtest.h>

#include "detect/CacheSearch.h"

namespace tavimo {
namespace {

TEST(CacheSearch, EntryFilter) {
  const struct {
    const char* entry;
    const char* address;
    bool listAll;
    const char* listed;  // "" = not listed
  } cases[] = {
      {"http://host/a.swf", "http://host/dir/page.htm", false, "http://host/a.swf"},
      {"http://www.host.com/a.swf", "http://host/dir/page.htm", false, "http://www.host.com/a.swf"},
      {"http://other/a.swf", "http://host/dir/page.htm", false, ""},
      {"http://host/a.swf?v=1", "http://host/", false, "http://host/a.swf"},
      {"http://host/a.SWF", "http://host/", false, ""},
      {"http://host/a.swf.html", "http://host/", false, ""},
      {"http://host/?x=a.swf", "http://host/", false, ""},
      {"swf", "", true, ""},
      {"http://host/a.swf", "", false, ""},  // an empty host matches nothing
      {"http://host/a.swf", "", true, "http://host/a.swf"},
      {"http://host/a.swf", "HTTP://host/", false, ""},  // the host becomes "HTTP:"
      {"https://host/a.swf", "https://host/p.html", false, "https://host/a.swf"},
      {"http://host:8765/m/a.swf", "host:8765", false, "http://host:8765/m/a.swf"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(CacheSearchUrl(c.entry, c.address, c.listAll), c.listed) << c.entry << " / " << c.address;
  }
  EXPECT_EQ(CacheSearchHost("http://host/dir/page.htm"), "host");
  EXPECT_EQ(CacheSearchHost("https://host"), "host");
}

}  // namespace
}  // namespace tavimo
