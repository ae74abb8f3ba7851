// The platform-free half of the language unit on the host, under the sanitizers: the table against
// the reference copy, the start-up language rules and the message-box style and result rules.
// The host core library does not carry the setup units, so the unit is compiled in here.
#include "setup/Languages.cpp"
#include "tests/unit/languages_test.cpp"
