// Writes a web page of about the given size for the extractor benchmarks: HTML-like lines
// with, on average, one quoted Flash reference per 2,000 bytes (relative, absolute, "//", "/",
// capital letters), references that must not count (unquoted, "?v="), and an "<iframe" now and
// then. Usage: detect_pagegen <file> <bytes> [seed]
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: %s <file> <bytes> [seed]\n", argv[0]);
    return 2;
  }
  const std::size_t target = std::strtoull(argv[2], nullptr, 10);
  std::mt19937 rng(argc > 3 ? static_cast<unsigned>(std::strtoul(argv[3], nullptr, 10)) : 1u);
  static const char* words[] = {"flash",    "movie", "Player", "the",    "and", "games", "of", "a",
                                "download", "Intro", "menu",   "banner", "is",  "on",    "for"};
  static const char* refs[] = {
      "<embed src=\"movies/clip%u.swf\" width=\"400\">",
      "<param name=\"movie\" value='http://cdn.example.com/f/%u.SWF'>",
      "<object data=\"//media.example.net/m/%u.swf\"></object>",
      "<embed src=\"/Root/Games/g%u.swf\">",
      "so.addVariable(\"file\", \"www.example.org/v/%u.swf\");",
  };
  std::string page;
  page.reserve(target + 4096);
  page += "<html><head><title>Flash games</title></head>\r\n<body class=\"main\">\r\n";
  std::size_t nextRef = 1000, nextFrame = 60000;
  char buf[256];
  while (page.size() < target) {
    std::string line = "<p class=\"row\"><a href=\"/page" + std::to_string(rng() % 10000) + ".html\">";
    for (int w = 0; w < 8; ++w) line += std::string(words[rng() % 15]) + " ";
    line += "</a></p>";
    if (page.size() >= nextRef) {
      std::snprintf(buf, sizeof buf, refs[rng() % 5], static_cast<unsigned>(rng() % 1000000));
      line += buf;
      if (rng() % 8 == 0) line += "<embed src=intro.swf width=1><a href=\"x.swf?v=2\">";
      nextRef += 1000 + rng() % 2000;
    }
    if (page.size() >= nextFrame) {
      line += "<IFRAME SRC = \"frames/f" + std::to_string(rng() % 100000) + ".htm\"></iframe>";
      nextFrame += 40000 + rng() % 40000;
    }
    page += line;
    page += "\r\n";
  }
  page += "</body></html>\r\n";
  std::FILE* f = std::fopen(argv[1], "wb");
  if (!f || std::fwrite(page.data(), 1, page.size(), f) != page.size() || std::fclose(f) != 0) {
    std::perror(argv[1]);
    return 1;
  }
  return 0;
}
