// tessel-designer's command line: values in both spellings, and the
// mistakes that must stop the program before it opens a window.

#include <gtest/gtest.h>

#include <vector>

#include "options.h"

namespace tessel::designer {
namespace {

std::string Parse(std::vector<const char*> args, Options& options) {
  args.insert(args.begin(), "tessel-designer");
  return ParseOptions(static_cast<int>(args.size()), args.data(), options);
}

TEST(DesignerOptions, ReadsTheFormAndEveryOptionInBothSpellings) {
  Options o;
  EXPECT_EQ(Parse({"--server=127.0.0.1:5000", "parts.tfm", "--password", "", "--preview",
                   "PartsQuery", "--screenshot=out.png"},
                  o),
            "");
  EXPECT_EQ(o.form, "parts.tfm");
  EXPECT_EQ(o.server, "127.0.0.1:5000");
  // An empty password is a password, not a missing one.
  EXPECT_EQ(o.password, "");
  EXPECT_FALSE(o.user.has_value());
  EXPECT_EQ(o.preview, "PartsQuery");
  EXPECT_EQ(o.screenshot, "out.png");
}

TEST(DesignerOptions, RefusesWhatItCannotUse) {
  Options o;
  EXPECT_NE(Parse({"a.tfm", "b.tfm"}, o), "");
  Options unknown;
  EXPECT_NE(Parse({"--colour", "red"}, unknown).find("--colour"), std::string::npos);
  Options missing;
  EXPECT_NE(Parse({"a.tfm", "--select"}, missing), "");
  Options no_form;
  EXPECT_NE(Parse({"--preview", "Tessel1"}, no_form), "");
  Options help;
  EXPECT_EQ(Parse({"--help", "--colour"}, help), "");
  EXPECT_TRUE(help.help);
}

}  // namespace
}  // namespace tessel::designer
