// Limits of the binary form format that the form compiler (tools/formc) and the form reader share.
// Standard C++ only, so that the host tool can include it.
#pragma once

// Objects are nested at most this deep: the root is at depth 0, its children at 1, and an object at depth
// MaxFormNesting is refused. Both sides recurse once per level, so this keeps their stacks small.
constexpr int MaxFormNesting = 64;
