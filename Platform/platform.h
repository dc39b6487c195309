/*
 * The platform layer: the handful of drawing and kernel calls the library and
 * the front ends use, with the names, types and meaning the Windows interface
 * gives them, over an off-screen raster surface. Built against the real
 * platform, this header's place would be taken by <windows.h>.
 *
 * Surface pixels are 32-bit 0x00RRGGBB values (the byte order of a 32-bit DIB),
 * row-major from the top row; the drawing calls take and GetPixel returns
 * COLORREF values 0x00BBGGRR.
 *
 * What the surface paints:
 * - A new surface is filled with the plain window background
 *   ISOVAR_SURFACE_BACKGROUND, RGB(240, 240, 240). A new device context has a
 *   black 1-pixel pen, a white brush, a 16-pixel Japanese gothic font, black
 *   text, background mode TRANSPARENT and current position (0, 0).
 * - LineTo with a 1-pixel pen paints from the current position towards the
 *   end point and not the end point itself. Each step along the major axis
 *   paints the pixel nearest the exact line; a tie goes to the end with the
 *   smaller major coordinate (the left end of a flat line, the top end of a
 *   steep one), so both directions cover the same pixels but their own end.
 *   A pen w > 1 pixels wide paints every pixel whose centre lies within w / 2
 *   of the segment (round ends, both end points included); for even w the
 *   segment runs through the top-left corners of its pixels.
 * - Rectangle(l, t, r, b), corners in either order, covers columns
 *   min(l, r) .. max(l, r) - 1 and rows min(t, b) .. max(t, b) - 1: the pen's
 *   1-pixel ring, the brush inside. A wider pen strokes that ring's centre line.
 * - TextOutA puts the top-left of the text cell at the point; the font height
 *   (lfHeight > 0) is the cell height in pixels. Glyphs are antialiased:
 *   a pixel the outline covers by the fraction c (in 1/255 steps) becomes
 *   c x text colour + (1 - c) x what was there, each channel rounded, so a
 *   fully covered pixel gets exactly the text colour and an uncovered one
 *   keeps its colour. Background mode OPAQUE first fills the cell with white. A font's
 *   lfEscapement (tenths of a degree) turns its texts counter-clockwise about the
 *   point, as the eye sees it (no OPAQUE cell then); SetTextHalo puts an outline
 *   around the glyphs, painted under them. Text is code page 932; a byte that starts no character
 *   is drawn as '?'. The font file may be chosen with the environment
 *   variable ISOVAR_FONT; otherwise fontconfig finds the face, preferring one
 *   that covers Japanese. With no font installed, text draws nothing.
 * - FillPolygons fills each polygon with the brush and draws no outline: a
 *   pixel is painted when its centre lies inside (nonzero winding). A centre
 *   exactly on an edge counts as inside when the polygon lies to the right
 *   of that edge, or below it for a horizontal edge; so polygons that share
 *   an edge (the same two vertices, walked either way) paint every pixel
 *   along it exactly once: no gap, no double paint.
 * - Everything is clipped to the surface; any int32 coordinate is safe.
 *   GetPixel outside the surface, or on a handle that is not a surface device
 *   context, returns CLR_INVALID.
 * - Handles are checked: a null, foreign, stale or wrong-kind handle makes a
 *   call fail harmlessly. An object deleted while selected stays in use by
 *   its device context until deselected, and is freed then. The defaults a
 *   new context starts with are stock objects that deleting leaves alone.
 *   At most 16384 objects live at once; creating one more returns NULL.
 * - Threads: several threads may draw at once, each on surfaces of its own
 *   (one surface device context is used by one thread at a time), and any
 *   thread may make, select and delete objects. An object selected into
 *   surfaces on several threads stays unchanged while they draw; deleting it
 *   then is the caller's race. Texts from several threads are painted one
 *   after another: the fonts and their glyphs are shared by the process.
 */
#ifndef ISOVAR_PLATFORM_H
#define ISOVAR_PLATFORM_H

#include <stddef.h>
#include <stdint.h>

#if defined(__GNUC__)
#define ISOVAR_PLATFORM_API __attribute__((visibility("default")))
#else
#define ISOVAR_PLATFORM_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

typedef int32_t BOOL;
typedef uint8_t BYTE;
typedef uint16_t WORD;
typedef uint32_t DWORD;
typedef int32_t LONG;
typedef char CHAR;
typedef const char* LPCSTR;
typedef char* LPSTR;
typedef DWORD COLORREF;

typedef struct HDC__* HDC;
typedef struct HPEN__* HPEN;
typedef struct HBRUSH__* HBRUSH;
typedef struct HFONT__* HFONT;
typedef void* HGDIOBJ;

typedef struct tagPOINT {
  LONG x;
  LONG y;
} POINT, *LPPOINT;

/* A point in pixels with fractions: (0, 0) is the top-left corner of the
 * top-left pixel, so pixel (i, j) has its centre at (i + 0.5, j + 0.5). */
typedef struct tagPOINTF {
  float x;
  float y;
} POINTF;

#define LF_FACESIZE 32

typedef struct tagLOGFONTA {
  LONG lfHeight;         /* > 0: cell height in pixels */
  LONG lfWidth;
  LONG lfEscapement;
  LONG lfOrientation;
  LONG lfWeight;         /* 0: the default weight */
  BYTE lfItalic;
  BYTE lfUnderline;
  BYTE lfStrikeOut;
  BYTE lfCharSet;
  BYTE lfOutPrecision;
  BYTE lfClipPrecision;
  BYTE lfQuality;
  BYTE lfPitchAndFamily;
  CHAR lfFaceName[LF_FACESIZE]; /* code page 932 */
} LOGFONTA;

#define RGB(r, g, b) \
  ((COLORREF)(((BYTE)(r) | ((WORD)((BYTE)(g)) << 8)) | (((DWORD)(BYTE)(b)) << 16)))
#define GetRValue(c) ((BYTE)(c))
#define GetGValue(c) ((BYTE)(((WORD)(c)) >> 8))
#define GetBValue(c) ((BYTE)((c) >> 16))

#define PS_SOLID 0
#define CLR_INVALID 0xFFFFFFFFu
#define SHIFTJIS_CHARSET 128
#define OUT_TT_PRECIS 4
#define FIXED_PITCH 1
#define FF_MODERN (3 << 4)
#define TRANSPARENT 1
#define OPAQUE 2
#define TRUE 1
#define FALSE 0

/* The plain window background a new surface starts with. */
#define ISOVAR_SURFACE_BACKGROUND RGB(240, 240, 240)

/* Drawing objects */
ISOVAR_PLATFORM_API HBRUSH CreateSolidBrush(COLORREF color);
ISOVAR_PLATFORM_API HPEN CreatePen(int style, int width, COLORREF color);
ISOVAR_PLATFORM_API HFONT CreateFontIndirectA(const LOGFONTA* font);
ISOVAR_PLATFORM_API HGDIOBJ SelectObject(HDC hdc, HGDIOBJ object);
ISOVAR_PLATFORM_API BOOL DeleteObject(HGDIOBJ object);

/* Drawing */
ISOVAR_PLATFORM_API BOOL Rectangle(HDC hdc, int left, int top, int right, int bottom);
ISOVAR_PLATFORM_API BOOL MoveToEx(HDC hdc, int x, int y, LPPOINT previous);
ISOVAR_PLATFORM_API BOOL LineTo(HDC hdc, int x, int y);
ISOVAR_PLATFORM_API BOOL TextOutA(HDC hdc, int x, int y, LPCSTR text, int length);
ISOVAR_PLATFORM_API COLORREF SetTextColor(HDC hdc, COLORREF color);
ISOVAR_PLATFORM_API int SetBkMode(HDC hdc, int mode);
ISOVAR_PLATFORM_API COLORREF GetPixel(HDC hdc, int x, int y);
/* An extension of this layer: texts drawn on hdc after this call get an
 * outline of color `width` pixels wide around their glyphs (width 0: none;
 * at most 8), painted under them; SVG surfaces record it as the text's
 * stroke, painted first. FALSE for a bad handle or a width out of range. */
ISOVAR_PLATFORM_API BOOL SetTextHalo(HDC hdc, COLORREF color, int width);
/* Fills `polygons` polygons in the brush's colour; polygon i has counts[i]
 * vertices, taken one after another from points. A polygon of fewer than
 * three vertices, or with a vertex that is not finite, paints nothing. FALSE
 * for a bad handle, a negative count or a null array with polygons > 0. */
ISOVAR_PLATFORM_API BOOL FillPolygons(HDC hdc, const POINTF* points, const int* counts, int polygons);

/* Surface life: a device context over a width x height pixel buffer, filled
 * with the plain window background. NULL when the size is negative, more than
 * 32767 on a side or 2^26 pixels in all, or the memory cannot be had. A size
 * of 0 gives a context without pixels, where drawing does nothing. */
ISOVAR_PLATFORM_API HDC CreateSurfaceDC(int width, int height);
ISOVAR_PLATFORM_API BOOL DeleteDC(HDC hdc);
/* The surface's pixels (0x00RRGGBB, width * height, top row first; laid out
 * as a Qt QImage::Format_RGB32), or NULL for a handle that is not a surface
 * device context. A surface without pixels gives a valid pointer to nothing. */
ISOVAR_PLATFORM_API const uint32_t* GetSurfaceBits(HDC hdc, int* width, int* height);

/* Surfaces that also record SVG. A device context like CreateSurfaceDC's,
 * whose drawing calls each add what they painted to an SVG 1.1 document of
 * width x height pixels with the same colours: rectangles as rect elements
 * (one that covers the whole surface, a picture's background, hides and
 * drops everything before it), lines as stroked paths through the pixel
 * centres (even widths: the pixels' top-left corners) with round ends, a
 * line that goes on from the last one's end with the same pen continuing
 * its path and a newly selected pen starting a new one, texts as text
 * elements (font family and em size of the font, each character at the
 * surface's pen position, UTF-8, XML-escaped), and the polygons of
 * FillPolygons calls in a row of one colour as one path with crisp edges.
 * NULL as CreateSurfaceDC, or when memory runs out. */
ISOVAR_PLATFORM_API HDC CreateSvgSurfaceDC(int width, int height);
/* The SVG document (UTF-8, NUL-ended, *length bytes when length is not
 * NULL) of all that was drawn on hdc, valid until the next call on hdc; NULL
 * for a device context that records no SVG. */
ISOVAR_PLATFORM_API const char* GetSurfaceSvg(HDC hdc, size_t* length);

/* Exact pictures: surfaces that draw or record paths with fractions, and the
 * calls that feed them.
 *
 * A plain surface (CreateSurfaceDC, CreateSvgSurfaceDC without options)
 * paints every call as described above. CreateSurfaceDCWith makes surfaces
 * that also take exact paths:
 * - ISOVAR_SURFACE_SVG records SVG as CreateSvgSurfaceDC's surface does;
 * - ISOVAR_SURFACE_ANTIALIAS paints lines, rectangles and polygons through
 *   cairo with antialiased edges (text keeps the surface's own painting);
 * - ISOVAR_SURFACE_PDF draws a PDF page too (below);
 * - scale (0.5 to 8; 1 for none) gives a surface of the same logical size
 *   (width x height, the coordinates every call takes) whose pixels are
 *   scale times as many each way (rounded; GetSurfaceBits and GetPixel see
 *   those pixels): positions, pen widths and font heights are multiplied by
 *   scale, and the recorded SVG is scale times as wide and high with the
 *   logical viewBox. A scaled surface paints through cairo too (without
 *   antialiasing unless asked).
 * NULL as CreateSurfaceDC, for a scale out of range or unknown flags, or when
 * cairo cannot be loaded for a surface that needs it.
 *
 * SurfaceTakesExactPaths says whether hdc wants exact paths. A renderer then
 * gives each path twice: once through the integer calls, bracketed by
 * BeginRasterStandIn / EndRasterStandIn, and once exactly with PolylineF.
 * The stand-in calls paint the pixels of a surface that has no exact
 * painting of its own (an SVG recording surface without antialiasing) and
 * are neither recorded nor painted otherwise; PolylineF is recorded in the
 * SVG and painted by a cairo surface. A plain surface takes no exact paths:
 * PolylineF and the groups do nothing there, the stand-in calls paint as
 * always. */
#define ISOVAR_SURFACE_SVG 1u
#define ISOVAR_SURFACE_ANTIALIAS 2u
#define ISOVAR_SURFACE_PDF 4u
ISOVAR_PLATFORM_API HDC CreateSurfaceDCWith(int width, int height, double scale, DWORD flags);
/* A surface made with ISOVAR_SURFACE_PDF also draws one PDF page of its
 * logical size (0.75 point a pixel) with what the SVG records: exact paths,
 * text as text in the face's family. GetSurfacePdf ends the page on its
 * first call (nothing drawn later is in it) and gives the document (*length
 * bytes), valid as long as the surface; NULL for a surface without a page or
 * when cairo failed to make it. */
ISOVAR_PLATFORM_API const char* GetSurfacePdf(HDC hdc, size_t* length);
ISOVAR_PLATFORM_API BOOL SurfaceTakesExactPaths(HDC hdc);
ISOVAR_PLATFORM_API BOOL BeginRasterStandIn(HDC hdc);
ISOVAR_PLATFORM_API BOOL EndRasterStandIn(HDC hdc);
/* The affine map of PolylineF's coordinates to logical pixels (with
 * fractions, (0, 0) the top-left corner of the picture): x' = m[0] x + m[2] y
 * + m[4], y' = m[1] x + m[3] y + m[5]. A new surface has the identity. FALSE
 * for a bad handle or a matrix with a value that is not finite. */
ISOVAR_PLATFORM_API BOOL SetPathTransform(HDC hdc, const double matrix[6]);
/* An open path through count points (in the path transform's coordinates),
 * stroked with the selected pen: its width in logical pixels, round ends and
 * joins. Points that are not finite break the path there; a point equal to
 * the one before it is dropped. FALSE for a bad handle or a negative count. */
ISOVAR_PLATFORM_API BOOL PolylineF(HDC hdc, const POINTF* points, int count);
/* A named group of what is drawn until EndGroup: recorded as an SVG g
 * element with id (letters, digits, '-' and '_' only) and attributes (more
 * attributes, written as given: name="value" pairs of XML text). A group
 * begun again with the same id goes on where it stopped, so its parts may be
 * drawn at different times; it stays where it first began. Groups do not
 * nest: BeginGroup inside a group ends that group first. */
ISOVAR_PLATFORM_API BOOL BeginGroup(HDC hdc, const char* id, const char* attributes);
ISOVAR_PLATFORM_API BOOL EndGroup(HDC hdc);

/* Kernel services */
ISOVAR_PLATFORM_API DWORD GetCurrentDirectoryA(DWORD buffer_length, LPSTR buffer);

#ifdef __cplusplus
}
#endif

#endif /* ISOVAR_PLATFORM_H */
