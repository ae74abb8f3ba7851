// Host tests of the form compiler (formc) and of the compiled wizard form resource.
// The binary is read back with a small walker of its own, so the tests do not trust formc's writer.

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#ifndef FORMC_PATH
#error "FORMC_PATH must name the formc executable"
#endif
#ifndef MAINFORM_BIN
#error "MAINFORM_BIN must name the compiled wizard form"
#endif
#ifndef FORMS_DATA_DIR
#error "FORMS_DATA_DIR must name tests/data/forms"
#endif

namespace {

// ---- Independent reader of the binary form format -------------------------------------------------------

struct FormValue {
  uint8_t tag = 0;
  int32_t number = 0;  // tags 2, 3, 4
  std::string text;    // tags 6, 7
};

struct FormObject {
  std::string className;
  std::string name;
  std::vector<std::pair<std::string, FormValue>> props;
  std::vector<FormObject> children;

  const FormValue* Prop(const std::string& n) const {
    for (const auto& p : props)
      if (p.first == n) return &p.second;
    return nullptr;
  }
};

class FormWalker {
 public:
  explicit FormWalker(const std::vector<uint8_t>& data) : data_(data) {}

  // Accepts only what the loader accepts; anything else throws with the offset.
  FormObject ReadForm() {
    if (data_.size() < 4 || std::string(data_.begin(), data_.begin() + 4) != "TPF0") Bad("missing TPF0 signature");
    pos_ = 4;
    FormObject root = ReadObject(0);
    if (pos_ != data_.size()) Bad("bytes after the root object");
    return root;
  }

  std::map<int, int> tagCounts;

 private:
  [[noreturn]] void Bad(const std::string& why) const {
    throw std::runtime_error(why + " at offset " + std::to_string(pos_));
  }
  uint8_t Byte() {
    if (pos_ >= data_.size()) Bad("truncated");
    return data_[pos_++];
  }
  uint8_t Peek() const {
    if (pos_ >= data_.size()) Bad("truncated");
    return data_[pos_];
  }
  std::string ShortString() {
    size_t n = Byte();
    if (data_.size() - pos_ < n) Bad("short string runs past the end");
    std::string s(data_.begin() + pos_, data_.begin() + pos_ + n);
    pos_ += n;
    return s;
  }
  FormValue Value() {
    FormValue v;
    v.tag = Byte();
    ++tagCounts[v.tag];
    switch (v.tag) {
      case 2:
        v.number = static_cast<int8_t>(Byte());
        break;
      case 3: {
        uint16_t lo = Byte(), hi = Byte();
        v.number = static_cast<int16_t>(lo | (hi << 8));
        break;
      }
      case 4: {
        uint32_t u = 0;
        for (int i = 0; i < 4; ++i) u |= uint32_t(Byte()) << (8 * i);
        v.number = static_cast<int32_t>(u);
        break;
      }
      case 6:
      case 7:
        v.text = ShortString();
        break;
      case 8:
      case 9:
      case 13:
        break;
      default:
        --pos_;
        Bad("value tag " + std::to_string(v.tag) + " is not accepted by the loader");
    }
    return v;
  }
  FormObject ReadObject(int depth) {
    if (depth > 32) Bad("nesting too deep");
    if (Peek() >= 0xF0) Bad("flags byte before the class name");
    FormObject o;
    o.className = ShortString();
    o.name = ShortString();
    while (Peek() != 0) {
      std::string propName = ShortString();
      if (propName.empty()) Bad("empty property name");
      o.props.emplace_back(propName, Value());
    }
    ++pos_;
    while (Peek() != 0) o.children.push_back(ReadObject(depth + 1));
    ++pos_;
    return o;
  }

  const std::vector<uint8_t>& data_;
  size_t pos_ = 0;
};

void CollectObjects(const FormObject& o, std::vector<const FormObject*>& out) {
  out.push_back(&o);
  for (const auto& c : o.children) CollectObjects(c, out);
}

const FormObject* FindObject(const FormObject& root, const std::string& name) {
  std::vector<const FormObject*> all;
  CollectObjects(root, all);
  for (const auto* o : all)
    if (o->name == name) return o;
  return nullptr;
}

std::vector<uint8_t> ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  EXPECT_TRUE(in.good()) << "cannot open " << path;
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool FileExists(const std::string& path) {
  std::ifstream in(path);
  return in.good();
}

// ---- Running the compiler ----------------------------------------------------------------------------

std::string Quote(const std::string& s) {
  std::string q = "'";
  for (char c : s) {
    if (c == '\'') q += "'\\''";
    else q += c;
  }
  return q + "'";
}

std::string DataFile(const std::string& name) { return std::string(FORMS_DATA_DIR) + "/" + name; }

std::string TempPath(const std::string& name) {
  return ::testing::TempDir() + "formc_test_" + std::to_string(getpid()) + "_" + name;
}

struct RunResult {
  int exitCode = -1;
  std::string errors;
};

RunResult RunFormc(const std::vector<std::string>& args) {
  std::string errFile = TempPath("stderr.txt");
  std::string cmd = Quote(FORMC_PATH);
  for (const auto& a : args) cmd += " " + Quote(a);
  cmd += " 2>" + Quote(errFile);
  int status = std::system(cmd.c_str());
  RunResult r;
  if (status != -1 && WIFEXITED(status)) r.exitCode = WEXITSTATUS(status);
  std::ifstream in(errFile);
  std::stringstream ss;
  ss << in.rdbuf();
  r.errors = ss.str();
  std::remove(errFile.c_str());
  return r;
}

// Compiles a data file and walks the result; fails the test when either step fails.
FormObject CompileAndWalk(const std::string& input, std::vector<uint8_t>* bytes = nullptr,
                          std::map<int, int>* tags = nullptr) {
  std::string out = TempPath(input + ".bin");
  std::remove(out.c_str());
  RunResult r = RunFormc({DataFile(input), out});
  EXPECT_EQ(r.exitCode, 0) << r.errors;
  EXPECT_TRUE(r.errors.empty()) << r.errors;
  std::vector<uint8_t> data = ReadBytes(out);
  std::remove(out.c_str());
  FormWalker w(data);
  FormObject root;
  try {
    root = w.ReadForm();
  } catch (const std::exception& e) {
    ADD_FAILURE() << input << ": " << e.what();
  }
  if (bytes) *bytes = data;
  if (tags) *tags = w.tagCounts;
  return root;
}

// ---- The compiled wizard form ----------------------------------------------------------------------------

class MainFormResource : public ::testing::Test {
 protected:
  void SetUp() override {
    data = ReadBytes(MAINFORM_BIN);
    FormWalker w(data);
    root = w.ReadForm();
    tags = w.tagCounts;
  }
  std::vector<uint8_t> data;
  FormObject root;
  std::map<int, int> tags;
};

TEST_F(MainFormResource, SizeAndSignature) {
  EXPECT_EQ(data.size(), 1553u);
  ASSERT_GE(data.size(), 4u);
  EXPECT_EQ(std::string(data.begin(), data.begin() + 4), "TPF0");
}

TEST_F(MainFormResource, ValueTagCounts) {
  std::map<int, int> expected = {{2, 51}, {3, 33}, {4, 1}, {6, 1}, {7, 10}, {8, 3}, {9, 3}};
  EXPECT_EQ(tags, expected);
}

TEST_F(MainFormResource, RootAndItsProperties) {
  EXPECT_EQ(root.className, "TMainForm");
  EXPECT_EQ(root.name, "MainForm");
  ASSERT_EQ(root.props.size(), 3u);
  EXPECT_EQ(root.props[0].first, "ClientHeight");
  EXPECT_EQ(root.props[0].second.tag, 3);
  EXPECT_EQ(root.props[0].second.number, 351);
  EXPECT_EQ(root.props[1].first, "ClientWidth");
  EXPECT_EQ(root.props[1].second.number, 492);
  EXPECT_EQ(root.props[2].first, "OnCloseQuery");
  EXPECT_EQ(root.props[2].second.tag, 7);
  EXPECT_EQ(root.props[2].second.text, "FormCloseQuery");
}

TEST_F(MainFormResource, AllComponentsPresentWithTheirClassesAndParents) {
  const char* fields[] = {"TopPanel", "TopLbl",   "LogoImg",    "WPanel",        "WelLbl",   "LngLbl",   "LngBox",
                          "LPanel",   "LicMemo",  "LicChkBx",   "DPanel",        "DestEdt",  "BwsBtn",   "PortChkBx",
                          "PortInfBtn", "SPanel", "StartLbl",   "Inst2AllChkBx", "DskChkBx", "IPanel",   "FPanel",
                          "FinLbl",   "FinChkBx", "BackBtn",    "NextBtn",       "CancelBtn"};
  static_assert(sizeof(fields) / sizeof(fields[0]) == 26, "26 published fields");
  for (const char* f : fields) EXPECT_NE(FindObject(root, f), nullptr) << f;

  std::vector<const FormObject*> all;
  CollectObjects(root, all);
  EXPECT_EQ(all.size(), 1u + 26u + 5u);  // root, published fields, and the five unnamed-field components
  std::set<std::string> names;
  for (const auto* o : all) EXPECT_TRUE(names.insert(o->name).second) << "duplicate " << o->name;

  const std::set<std::string> registered = {"TBevel", "TButton", "TCheckBox", "TComboBox", "TEdit",
                                            "TImage", "TLabel",  "TMemo",     "TPanel"};
  for (const auto* o : all)
    if (o != &root) {
      EXPECT_EQ(registered.count(o->className), 1u) << o->name << ": " << o->className;
    }

  // Ten panels are the form's direct children, in layout order.
  std::vector<std::string> top;
  for (const auto& c : root.children) {
    EXPECT_EQ(c.className, "TPanel") << c.name;
    top.push_back(c.name);
  }
  const std::vector<std::string> expectedTop = {"TopPanel", "LftPanel", "WPanel", "LPanel",      "DPanel",
                                                "SPanel",   "IPanel",   "FPanel", "BtmBvlPanel", "BtmPanel"};
  EXPECT_EQ(top, expectedTop);

  auto childNames = [&](const char* panel) {
    std::vector<std::string> v;
    const FormObject* p = FindObject(root, panel);
    if (p)
      for (const auto& c : p->children) v.push_back(c.name);
    return v;
  };
  EXPECT_EQ(childNames("LftPanel"), (std::vector<std::string>{"LogoImg", "LftBvl"}));
  EXPECT_EQ(childNames("DPanel"), (std::vector<std::string>{"DestEdt", "BwsBtn", "PortChkBx", "PortInfBtn"}));
  EXPECT_EQ(childNames("BtmPanel"), (std::vector<std::string>{"BackBtn", "NextBtn", "CancelBtn"}));
  EXPECT_TRUE(childNames("IPanel").empty());
  // Page panels other than the welcome page get their bounds at run time.
  for (const char* page : {"LPanel", "DPanel", "SPanel", "IPanel", "FPanel"}) {
    const FormObject* p = FindObject(root, page);
    ASSERT_NE(p, nullptr) << page;
    EXPECT_TRUE(p->props.empty()) << page;
  }
}

TEST_F(MainFormResource, NoZeroIntegersAndOnlyKnownPropertyNames) {
  const std::set<std::string> known = {"Left",     "Top",     "Width",   "Height",     "ClientHeight", "ClientWidth",
                                       "OnCloseQuery", "Caption", "OnClick", "OnChange", "Default",      "Cancel",
                                       "Checked",  "AutoSize", "BevelInner", "BevelOuter", "Color",      "Shape"};
  std::vector<const FormObject*> all;
  CollectObjects(root, all);
  for (const auto* o : all) {
    for (const auto& p : o->props) {
      EXPECT_EQ(known.count(p.first), 1u) << o->name << "." << p.first;
      if (p.second.tag >= 2 && p.second.tag <= 4) {
        EXPECT_NE(p.second.number, 0) << o->name << "." << p.first;
      }
    }
  }
}

TEST_F(MainFormResource, ColourCaptionFlagsAndHandlers) {
  const FormObject* top = FindObject(root, "TopPanel");
  ASSERT_NE(top, nullptr);
  ASSERT_NE(top->Prop("Color"), nullptr);
  EXPECT_EQ(top->Prop("Color")->tag, 4);
  EXPECT_EQ(top->Prop("Color")->number, 16777215);
  ASSERT_NE(top->Prop("BevelInner"), nullptr);
  EXPECT_EQ(top->Prop("BevelInner")->text, "bvRaised");
  EXPECT_EQ(top->Prop("BevelOuter")->text, "bvLowered");

  const FormObject* q = FindObject(root, "PortInfBtn");
  ASSERT_NE(q, nullptr);
  ASSERT_NE(q->Prop("Caption"), nullptr);
  EXPECT_EQ(q->Prop("Caption")->tag, 6);
  EXPECT_EQ(q->Prop("Caption")->text, "  ?  ");
  EXPECT_EQ(q->Prop("Left"), nullptr);  // placed at run time

  const FormObject* bvl = FindObject(root, "LftBvl");
  ASSERT_NE(bvl, nullptr);
  ASSERT_NE(bvl->Prop("Shape"), nullptr);
  EXPECT_EQ(bvl->Prop("Shape")->text, "bsLeftLine");

  struct Flag { const char* obj; const char* prop; uint8_t tag; };
  for (const Flag& f : {Flag{"WelLbl", "AutoSize", 8}, Flag{"StartLbl", "AutoSize", 8}, Flag{"FinLbl", "AutoSize", 8},
                        Flag{"LicChkBx", "Checked", 9}, Flag{"NextBtn", "Default", 9}, Flag{"CancelBtn", "Cancel", 9}}) {
    const FormObject* o = FindObject(root, f.obj);
    ASSERT_NE(o, nullptr) << f.obj;
    ASSERT_NE(o->Prop(f.prop), nullptr) << f.obj << "." << f.prop;
    EXPECT_EQ(o->Prop(f.prop)->tag, f.tag) << f.obj << "." << f.prop;
  }

  struct Handler { const char* obj; const char* prop; const char* method; };
  for (const Handler& h : {Handler{"LngBox", "OnChange", "LngBoxChange"}, Handler{"BwsBtn", "OnClick", "BwsBtnClick"},
                           Handler{"PortInfBtn", "OnClick", "PortInfBtnClick"}, Handler{"BackBtn", "OnClick", "BNClick"},
                           Handler{"NextBtn", "OnClick", "BNClick"}, Handler{"CancelBtn", "OnClick", "CancelBtnClick"}}) {
    const FormObject* o = FindObject(root, h.obj);
    ASSERT_NE(o, nullptr) << h.obj;
    ASSERT_NE(o->Prop(h.prop), nullptr) << h.obj << "." << h.prop;
    EXPECT_EQ(o->Prop(h.prop)->tag, 7);
    EXPECT_EQ(o->Prop(h.prop)->text, h.method);
  }
}

// ---- Compiler behaviour on small inputs ------------------------------------------------------------------

TEST(Formc, IntegersUseTheSmallestTag) {
  FormObject o = CompileAndWalk("values.txt");
  struct Case { const char* prop; uint8_t tag; int32_t value; };
  const Case cases[] = {
      {"I8Min", 2, -128},          {"I8Max", 2, 127},
      {"I16Low", 3, 128},          {"I16NegLow", 3, -129},
      {"I16Min", 3, -32768},       {"I16Max", 3, 32767},
      {"I32Low", 4, 32768},        {"I32NegLow", 4, -32769},
      {"I32Max", 4, INT32_MAX},    {"I32Min", 4, INT32_MIN},
      {"Zero", 2, 0},              {"HexColor", 4, static_cast<int32_t>(0x8000000Fu)},
      {"HexWhite", 4, 0xFFFFFF},   {"HexAllOnes", 2, -1},
      {"Font.Height", 2, -11},
  };
  for (const Case& c : cases) {
    const FormValue* v = o.Prop(c.prop);
    ASSERT_NE(v, nullptr) << c.prop;
    EXPECT_EQ(v->tag, c.tag) << c.prop;
    EXPECT_EQ(v->number, c.value) << c.prop;
  }
}

TEST(Formc, StringsIdentifiersBooleansAndNil) {
  FormObject o = CompileAndWalk("values.txt");
  EXPECT_EQ(o.className, "TThing");
  EXPECT_EQ(o.name, "Root");
  struct Case { const char* prop; uint8_t tag; const char* text; };
  const Case cases[] = {
      {"Text", 6, "It's"},
      {"Empty", 6, ""},
      {"Utf8", 6, "Gr\xC3\xB6\xC3\x9F" "e \xE2\x82\xAC"},
      {"Enum", 7, "bvRaised"},
      {"Handler", 7, "BNClick"},
      {"No", 8, ""},
      {"Yes", 9, ""},
      {"Cleared", 13, ""},
  };
  for (const Case& c : cases) {
    const FormValue* v = o.Prop(c.prop);
    ASSERT_NE(v, nullptr) << c.prop;
    EXPECT_EQ(v->tag, c.tag) << c.prop;
    EXPECT_EQ(v->text, c.text) << c.prop;
  }
  EXPECT_TRUE(o.children.empty());
}

TEST(Formc, PropertiesKeepTheirOrder) {
  FormObject o = CompileAndWalk("values.txt");
  std::vector<std::string> names;
  for (const auto& p : o.props) names.push_back(p.first);
  const std::vector<std::string> inFileOrder = {
      "I8Min",    "I8Max",      "I16Low", "I16NegLow", "I16Min", "I16Max",  "I32Low", "I32NegLow",
      "I32Max",   "I32Min",     "Zero",   "HexColor",  "HexWhite", "HexAllOnes", "Text", "Empty",
      "Utf8",     "Enum",       "Handler", "No",       "Yes",    "Cleared", "Font.Height"};
  EXPECT_EQ(names, inFileOrder);
}

TEST(Formc, NestedObjectsExactBytes) {
  std::vector<uint8_t> bytes;
  CompileAndWalk("nested.txt", &bytes);
  // Built by hand from the format: class, name, properties, 0, children, 0 for every object.
  std::vector<uint8_t> expected;
  auto str = [&](const std::string& s) {
    expected.push_back(static_cast<uint8_t>(s.size()));
    expected.insert(expected.end(), s.begin(), s.end());
  };
  expected = {'T', 'P', 'F', '0'};
  str("TForm1"); str("Top");
  str("Width"); expected.push_back(2); expected.push_back(10);
  expected.push_back(0);
  str("TPanel"); str("A");
  expected.push_back(0);
  str("TLabel"); str("A1");
  str("Caption"); expected.push_back(6); str("a1");
  expected.push_back(0); expected.push_back(0);
  str("TLabel"); str("A2");
  expected.push_back(0); expected.push_back(0);
  expected.push_back(0);  // end of A's children
  str("TButton"); str("B");
  str("Default"); expected.push_back(9);
  expected.push_back(0); expected.push_back(0);
  expected.push_back(0);  // end of Top's children
  EXPECT_EQ(bytes, expected);
}

TEST(Formc, WindowsLineEndsCompileTheSame) {
  std::vector<uint8_t> lf;
  CompileAndWalk("nested.txt", &lf);
  std::ifstream in(DataFile("nested.txt"), std::ios::binary);
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::string crlf;
  for (char c : text) crlf += (c == '\n') ? std::string("\r\n") : std::string(1, c);
  std::string input = TempPath("crlf.txt"), out = TempPath("crlf.bin");
  { std::ofstream(input, std::ios::binary) << crlf; }
  RunResult r = RunFormc({input, out});
  EXPECT_EQ(r.exitCode, 0) << r.errors;
  EXPECT_EQ(ReadBytes(out), lf);
  std::remove(input.c_str());
  std::remove(out.c_str());
}

TEST(Formc, LongestShortStringIsAccepted) {
  FormObject o = CompileAndWalk("long_string.txt");
  const FormValue* v = o.Prop("Caption");
  ASSERT_NE(v, nullptr);
  EXPECT_EQ(v->tag, 6);
  EXPECT_EQ(v->text, std::string(255, 'x'));
}

TEST(Formc, ReplacesAnExistingOutput) {
  std::string out = TempPath("replace.bin");
  { std::ofstream(out) << "stale content that is longer than the new resource should be ........................"
                          "..........................................................................."; }
  RunResult r = RunFormc({DataFile("nested.txt"), out});
  ASSERT_EQ(r.exitCode, 0) << r.errors;
  std::vector<uint8_t> data = ReadBytes(out);
  FormWalker w(data);
  EXPECT_NO_THROW(w.ReadForm());
  EXPECT_FALSE(FileExists(out + ".tmp"));
  std::remove(out.c_str());
}

struct Refusal {
  const char* file;
  int line;
  const char* words;  // part of the message that names the fault
};

class FormcRefuses : public ::testing::TestWithParam<Refusal> {};

TEST_P(FormcRefuses, WithLineNumberAndNoOutput) {
  const Refusal& c = GetParam();
  std::string out = TempPath(std::string(c.file) + ".bin");
  // A stale result from an earlier run must not survive a failed compile.
  { std::ofstream(out) << "stale"; }
  ASSERT_TRUE(FileExists(out));
  RunResult r = RunFormc({DataFile(c.file), out});
  EXPECT_EQ(r.exitCode, 1) << r.errors;
  EXPECT_FALSE(FileExists(out));
  EXPECT_FALSE(FileExists(out + ".tmp"));
  EXPECT_NE(r.errors.find(std::string(c.file) + ":" + std::to_string(c.line) + ": error"), std::string::npos)
      << r.errors;
  EXPECT_NE(r.errors.find(c.words), std::string::npos) << r.errors;
  std::remove(out.c_str());
}

INSTANTIATE_TEST_SUITE_P(
    BadInputs, FormcRefuses,
    ::testing::Values(Refusal{"bad_unterminated_string.txt", 3, "unterminated string"},
                      Refusal{"bad_missing_end.txt", 4, "missing 'end' for object 'Root'"},
                      Refusal{"bad_number.txt", 3, "bad number '12px'"},
                      Refusal{"bad_out_of_range.txt", 4, "out of range"},
                      Refusal{"bad_hex_out_of_range.txt", 2, "out of range"},
                      Refusal{"bad_syntax.txt", 2, "expected '='"},
                      Refusal{"bad_two_values.txt", 2, "one statement per line"},
                      Refusal{"bad_property_after_child.txt", 4, "after a child object"},
                      Refusal{"bad_trailing.txt", 3, "after the root object"},
                      Refusal{"bad_duplicate_name.txt", 4, "duplicate object name"},
                      Refusal{"bad_duplicate_property.txt", 3, "set twice"},
                      Refusal{"bad_long_string.txt", 2, "longer than 255"},
                      Refusal{"bad_utf8.txt", 2, "not valid UTF-8"},
                      Refusal{"bad_utf8_beyond_bmp.txt", 3, "beyond U+FFFF"}),
    [](const ::testing::TestParamInfo<Refusal>& info) {
      std::string n = info.param.file;
      n = n.substr(0, n.find('.'));
      return n;
    });

TEST(Formc, UsageAndUnreadableInput) {
  RunResult noArgs = RunFormc({});
  EXPECT_NE(noArgs.exitCode, 0);
  EXPECT_NE(noArgs.errors.find("usage"), std::string::npos) << noArgs.errors;

  std::string out = TempPath("missing.bin");
  RunResult missing = RunFormc({DataFile("does_not_exist.txt"), out});
  EXPECT_EQ(missing.exitCode, 1);
  EXPECT_FALSE(FileExists(out));
}

}  // namespace
