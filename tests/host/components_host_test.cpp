// Components and the class model on the host, under the sanitizers: ownership, teardown order and the
// published tables, where a use of freed memory or a double free is reported rather than silent.
#include "tests/unit/components_test.cpp"
