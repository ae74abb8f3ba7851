// The platform-free part of the Classes unit on the host, under the sanitizers: form data nested past the
// limit and memory-stream writes past the largest position, where an overflow would be reported.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "framework/Classes.h"
#include "framework/TypInfo.h"

namespace {

int live = 0;

class TBox : public TComponent {
  DESCRIBE_CLASS(TBox, TComponent);
  TBox* Inner = nullptr;

 protected:
  explicit TBox(TComponent* owner) : TComponent(owner) { ++live; }
  ~TBox() override { --live; }
};

TClass TBox::StaticClass() {
  static const TFieldInfo fields[] = {PublishedField<&TBox::Inner>("Inner")};
  static const TClassInfo info = DescribeClass<TBox>("TBox", {}, {}, fields);
  return &info;
}

std::string ShortString(const std::string& s) { return std::string(1, static_cast<char>(s.size())) + s; }

// A TBox root with `levels` boxes nested below it.
std::string Nested(int levels) {
  std::string bytes = "TPF0" + ShortString("TBox") + ShortString("Root") + '\0';
  for (int i = 0; i < levels; ++i) bytes += ShortString("TBox") + ShortString("Inner") + '\0';
  return bytes + std::string(static_cast<size_t>(levels) + 1, '\0');  // each box's children end, then the root's
}

TEST(HostFormReader, NestingIsRefusedPastTheLimitWithNothingLeftBehind) {
  RegisterFormClasses({TBox::StaticClass()});
  const struct {
    int levels;
    bool accepted;
  } cases[] = {{63, true}, {64, false}, {10000, false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.levels);
    TMemoryStream stream;
    const std::string bytes = Nested(c.levels);
    stream.WriteBytes(bytes.data(), static_cast<int32_t>(bytes.size()));
    stream.SetPos(0);
    if (c.accepted) {
      TComponentPtr<TComponent> root(stream.ReadRootComponent(nullptr));
      EXPECT_EQ(root->ComponentCount(), c.levels);
      EXPECT_EQ(live, c.levels + 1);
    } else {
      EXPECT_THROW(stream.ReadRootComponent(nullptr), EReadError);
    }
    EXPECT_EQ(live, 0);
  }
}

TEST(HostMemoryStream, AWriteEndingBeyondTheLargestPositionWritesNothing) {
  const struct {
    int32_t position, count;
  } cases[] = {{0x7FFFFFF0, 32}, {0x7FFFFFFF, 1}, {1, 0x7FFFFFFF}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.position);
    TMemoryStream m;
    m.WriteBytes("abc", 3);
    m.SetPos(c.position);
    std::vector<char> data(64, 'z');
    EXPECT_EQ(m.WriteBytes(data.data(), c.count), 0);
    EXPECT_EQ(m.Size(), 3);
    EXPECT_EQ(m.GetPos(), c.position);
  }
}

}  // namespace
