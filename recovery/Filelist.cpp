#include "recovery/Filelist.h"

// The node's copy, move and destruction are the member-wise ones: the children vector
// holds its subtree by value, so a copy is deep and self-assignment keeps the children.
static_assert(std::is_copy_constructible_v<TExtractedFile> && std::is_nothrow_move_constructible_v<TExtractedFile>);
