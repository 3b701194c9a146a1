#pragma once

#include "project_extension.h"
#include "project_record.h"

namespace tramelo {

// The record holds every text in Windows-1252, "?" for a character that has
// no form there. The exact text of such a field goes to the extension block
// as UTF-8, under "text." and the field's name ("text.messageSubject"), so
// that nothing is lost; a record whose texts all fit needs no entry and keeps
// its old form.
ProjectExtension exactTextsOf(const ProjectRecord &record);

// Each exact text that is well-formed UTF-8 and stands for the field's text
// (its Windows-1252 form is the one the record holds) takes the field's
// place; any other is ignored, and the field keeps the record's text.
void putBackExactTexts(ProjectRecord &record, const ProjectExtension &entries);

} // namespace tramelo
