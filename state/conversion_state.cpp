// The one record of a conversion and the classes it met, for every stage and the callers.
#include "conversion_state.h"

ConversionState conversion_state;
ClassList class_list;
