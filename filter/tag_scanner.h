// The steps that read tags (tag_scanner.cpp): a tag told by its name, and what a complete tag
// does.
#pragma once

#include "conversion_state.h"
#include "tag_names.h"

#include <cstdint>
#include <cstring>

bool EndsParameterBlock(TagKind kind);
bool OpensTag();
bool ReadTagStart();
void ReadTagName();
void SkipMarkedTag();
void FinishTag(TagKind kind);
void SkipLineBreak();
void MarkLineBreak();
void MarkParagraph(TagKind kind);
void MarkStyleTag(TagKind kind);

bool StartParameterBlock(TagKind kind);
void StartSubtitle();
