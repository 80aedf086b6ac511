// The output-file rule lives below the host (common/output_file); this name
// stays for the files that still include it from here.
#include "output_file/output_file.h"
