/* A grid built from arrays, traced, and its polylines walked. */
#include <math.h>
#include <stdio.h>
#include <stdlib.h>

#include "IsovarLib.h"

int main(void) {
  double x[4] = {0, 1, 2, 3}, y[3] = {0, 1, 2};
  double z[12] = {0, 1, 2, 3,   /* y = 0 */
                  1, 2, 3, 4,   /* y = 1 */
                  2, 3, NAN, 5}; /* y = 2; NAN: no value at (2, 2) */
  double levels[2] = {1.5, 2.5};
  IsovarModelInfo info = {2, levels, NULL, NULL, 0, NULL, 0};
  char err[ISOVAR_ERRMSG_SIZE];

  IsovarModel* model = isovarModelNew();
  IsovarRun* run = isovarRunNew();
  if (isovarModelGrid(model, 4, 3, x, y, z, &info, 0, err) != 0 || isovarRunTrace(run, model, 0, err) != 0) {
    fprintf(stderr, "%s\n", err); /* code page 932 */
    return 1;
  }
  for (int32_t i = 0; i < isovarRunLineCount(run); ++i) {
    int32_t level, closed;
    int32_t n = isovarRunLine(run, i, &level, &closed, NULL);
    double* xy = malloc(sizeof(double) * 2 * (size_t)n);
    isovarRunLine(run, i, &level, &closed, xy); /* x0, y0, x1, y1, ... */
    printf("level %g: %d points from (%g, %g)%s\n", levels[level], n, xy[0], xy[1], closed ? ", closed" : "");
    free(xy);
  }
  isovarRunFree(run);
  isovarModelFree(model);
  return 0;
}
