#pragma once

// One reading of a schema file for both of its readers: the layouts
// (ExpressSchema) and the declared types (ExpressTypes).

#include <string>

#include "express/ExpressSchema.h"

namespace ov::express {

// The whole file (the path is UTF-8); false, with a warning logged, when it
// cannot be opened or read.
bool readExpressFile(const std::string& path, std::string& content);

// ExpressSchema::loadSchema for a text already read, spelled as a long form is.
bool loadSchemaText(ExpressSchema& schema, std::string text);

}  // namespace ov::express
