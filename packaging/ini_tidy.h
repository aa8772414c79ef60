// After an uninstall has removed its entries from quellmar.ini, the profile
// functions leave the section headers behind. The file goes when nothing else
// is left in it; anything of anyone else's keeps it.
#pragma once

#include <string_view>

namespace Quellmar::packaging {

// True when the file's bytes (ANSI, UTF-8 or UTF-16LE with its byte-order
// mark) hold nothing but blank lines and the headers of the engine's three
// sections: such a file is only what the installer made of it.
bool OnlyEmptyEngineSections(std::string_view bytes);

}  // namespace Quellmar::packaging
