// Mistakes in describing or handling a component class that the compiler must refuse. Compiled once per
// CASE by the host build's class_check_* tests, each expecting its own diagnostic (CMakeLists.txt); CASE 0
// has no mistake and must compile.
#include "framework/Classes.h"
#include "framework/TypInfo.h"

class TGood : public TComponent {
  DESCRIBE_CLASS(TGood, TComponent);

 protected:
  using TComponent::TComponent;
};

#if CASE == 1  // the base named is no base of the class
class TBad : public TComponent {
  DESCRIBE_CLASS(TBad, TStringList);
};
#elif CASE == 2  // the description names another class
class TBad : public TComponent {
  DESCRIBE_CLASS(TGood, TComponent);
};
#elif CASE == 3  // a base between the class and its described ancestor is left undescribed
class TMiddle : public TComponent {
 protected:
  using TComponent::TComponent;
};
class TBad : public TMiddle {
  DESCRIBE_CLASS(TBad, TMiddle);
};
#elif CASE == 4  // a component class without a description is created
class TBad : public TGood {
 protected:
  using TGood::TGood;
};
TBad* made = CreateComponent<TBad>(nullptr);
#elif CASE == 5  // a component is deleted without its BeforeDestruction
void Drop(TGood* c) { delete c; }
#elif CASE == 6  // a component is built without CreateComponent, so its AfterConstruction never runs
TGood* made = new TGood(nullptr);
#endif
