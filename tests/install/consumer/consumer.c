/* consumer INPUT PICTURE.bmp: reads INPUT with the installed library and
 * plots it into a BMP on the drawing surface, in C. Exit status 0 when both
 * calls succeed. */
#include <IsovarLib.h>
#include <stdio.h>

int main(int argc, char** argv) {
  char err[ISOVAR_ERRMSG_SIZE] = "";
  if (argc != 3) {
    fprintf(stderr, "usage: consumer INPUT PICTURE.bmp\n");
    return 2;
  }
  int32_t read = readData(argv[1], err);
  printf("readData %d\n", (int)read);
  if (read != 0) return 1;
  HDC dc = CreateSurfaceDC(320, 240);
  int32_t saved = saveBMP(err, dc, "prtInfo.tmp", argv[2], 320, 240);
  DeleteDC(dc);
  printf("saveBMP %d\n", (int)saved);
  return saved == 0 ? 0 : 1;
}
