/* qvad.h stands alone, in C99 with every warning an error and as C++ (compiled twice by
   CTest, never run); the example hosts make every call in C. */
#include <qvad/qvad.h>
#include <qvad/qvad.h> /* guarded */

int header_compiles(void);
int header_compiles(void) { return qvad_main_iterate(0); }
