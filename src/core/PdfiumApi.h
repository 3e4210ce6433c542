#pragma once
// Declarations of the pdfium C API that the document model uses. The prebuilt
// library ships without headers, so these are written from pdfium's public
// interface. Only src/core includes this file; callers go through PdfiumLock.

#include <cstddef>
#include <cstdint>

extern "C" {

// Opaque handles.
typedef struct fpdf_action_t__* FPDF_ACTION;
typedef struct fpdf_annotation_t__* FPDF_ANNOTATION;
typedef struct fpdf_bitmap_t__* FPDF_BITMAP;
typedef struct fpdf_bookmark_t__* FPDF_BOOKMARK;
typedef struct fpdf_clippath_t__* FPDF_CLIPPATH;
typedef struct fpdf_dest_t__* FPDF_DEST;
typedef struct fpdf_document_t__* FPDF_DOCUMENT;
typedef struct fpdf_font_t__* FPDF_FONT;
typedef struct fpdf_link_t__* FPDF_LINK;
typedef struct fpdf_page_t__* FPDF_PAGE;
typedef struct fpdf_pagelink_t__* FPDF_PAGELINK;
typedef struct fpdf_pageobject_t__* FPDF_PAGEOBJECT;
typedef struct fpdf_pageobjectmark_t__* FPDF_PAGEOBJECTMARK;
typedef struct fpdf_pathsegment_t const* FPDF_PATHSEGMENT;
typedef struct fpdf_schhandle_t__* FPDF_SCHHANDLE;
typedef struct fpdf_signature_t__* FPDF_SIGNATURE;
typedef struct fpdf_textpage_t__* FPDF_TEXTPAGE;
typedef struct fpdf_xobject_t__* FPDF_XOBJECT;
typedef void* FPDF_FORMHANDLE;

typedef int FPDF_BOOL;
typedef int FPDF_RESULT;
typedef unsigned long FPDF_DWORD;
typedef float FS_FLOAT;
typedef unsigned short FPDF_WCHAR;
typedef const unsigned short* FPDF_WIDESTRING;
typedef const char* FPDF_BYTESTRING;
typedef const char* FPDF_STRING;
typedef int FPDF_ANNOTATION_SUBTYPE;
typedef int FPDFANNOT_COLORTYPE;

typedef struct _FS_MATRIX_ {
  float a, b, c, d, e, f;
} FS_MATRIX;

typedef struct _FS_RECTF_ {
  float left, top, right, bottom;
} FS_RECTF;

typedef struct FS_SIZEF_ {
  float width, height;
} FS_SIZEF;

typedef struct FS_POINTF_ {
  float x, y;
} FS_POINTF;

typedef struct _FS_QUADPOINTSF {
  FS_FLOAT x1, y1, x2, y2, x3, y3, x4, y4;
} FS_QUADPOINTSF;

typedef struct FPDF_LIBRARY_CONFIG_ {
  int version;
  const char** m_pUserFontPaths;
  void* m_pIsolate;
  unsigned int m_v8EmbedderSlot;
  void* m_pPlatform;
  int m_RendererType;
} FPDF_LIBRARY_CONFIG;

typedef struct FPDF_FILEWRITE_ {
  int version;
  int (*WriteBlock)(struct FPDF_FILEWRITE_* pThis, const void* pData, unsigned long size);
} FPDF_FILEWRITE;

typedef struct {
  unsigned long m_FileLen;
  int (*m_GetBlock)(void* param, unsigned long position, unsigned char* pBuf, unsigned long size);
  void* m_Param;
} FPDF_FILEACCESS;

typedef struct {
  unsigned int width;
  unsigned int height;
  float horizontal_dpi;
  float vertical_dpi;
  unsigned int bits_per_pixel;
  int colorspace;
  int marked_content_id;
} FPDF_IMAGEOBJ_METADATA;

// The form-fill environment's callbacks. This program only draws fields and
// never gives them focus, so every callback stays null; pdfium tests each one
// before calling it. The layout follows pdfium's through version 3, so that a
// library built with XFA reads `xfaDisabled` where it looks for it.
typedef struct FPDF_FORMFILLINFO_ {
  int version;
  void* versionOneCallbacks[15];  // Release .. FFI_DoGoToAction
  void* jsPlatform;
  FPDF_BOOL xfaDisabled;
  void* laterCallbacks[17];  // FFI_DisplayCaret .. FFI_DoURIActionWithKeyboardModifier
} FPDF_FORMFILLINFO;

// Error codes of FPDF_GetLastError.
#define FPDF_ERR_SUCCESS 0
#define FPDF_ERR_UNKNOWN 1
#define FPDF_ERR_FILE 2
#define FPDF_ERR_FORMAT 3
#define FPDF_ERR_PASSWORD 4
#define FPDF_ERR_SECURITY 5
#define FPDF_ERR_PAGE 6

// Render flags.
#define FPDF_ANNOT 0x01
#define FPDF_LCD_TEXT 0x02
#define FPDF_NO_NATIVETEXT 0x04
#define FPDF_GRAYSCALE 0x08
#define FPDF_REVERSE_BYTE_ORDER 0x10
#define FPDF_NO_CATCH 0x100
#define FPDF_RENDER_LIMITEDIMAGECACHE 0x200
#define FPDF_RENDER_FORCEHALFTONE 0x400
#define FPDF_PRINTING 0x800
#define FPDF_RENDER_NO_SMOOTHTEXT 0x1000
#define FPDF_RENDER_NO_SMOOTHIMAGE 0x2000
#define FPDF_RENDER_NO_SMOOTHPATH 0x4000

// Bitmap formats.
#define FPDFBitmap_Unknown 0
#define FPDFBitmap_Gray 1
#define FPDFBitmap_BGR 2
#define FPDFBitmap_BGRx 3
#define FPDFBitmap_BGRA 4
#define FPDFBitmap_BGRA_Premul 5

// Image colour spaces of FPDF_IMAGEOBJ_METADATA.
#define FPDF_COLORSPACE_UNKNOWN 0
#define FPDF_COLORSPACE_DEVICEGRAY 1
#define FPDF_COLORSPACE_DEVICERGB 2
#define FPDF_COLORSPACE_DEVICECMYK 3
#define FPDF_COLORSPACE_CALGRAY 4
#define FPDF_COLORSPACE_CALRGB 5
#define FPDF_COLORSPACE_LAB 6
#define FPDF_COLORSPACE_ICCBASED 7
#define FPDF_COLORSPACE_SEPARATION 8
#define FPDF_COLORSPACE_DEVICEN 9
#define FPDF_COLORSPACE_INDEXED 10
#define FPDF_COLORSPACE_PATTERN 11

// Page object types.
#define FPDF_PAGEOBJ_UNKNOWN 0
#define FPDF_PAGEOBJ_TEXT 1
#define FPDF_PAGEOBJ_PATH 2
#define FPDF_PAGEOBJ_IMAGE 3
#define FPDF_PAGEOBJ_SHADING 4
#define FPDF_PAGEOBJ_FORM 5

// Path fill modes.
#define FPDF_FILLMODE_NONE 0
#define FPDF_FILLMODE_ALTERNATE 1
#define FPDF_FILLMODE_WINDING 2

// Font types for FPDFText_LoadFont.
#define FPDF_FONT_TYPE1 1
#define FPDF_FONT_TRUETYPE 2

// Text render modes.
#define FPDF_TEXTRENDERMODE_UNKNOWN -1
#define FPDF_TEXTRENDERMODE_FILL 0
#define FPDF_TEXTRENDERMODE_STROKE 1
#define FPDF_TEXTRENDERMODE_FILL_STROKE 2
#define FPDF_TEXTRENDERMODE_INVISIBLE 3
#define FPDF_TEXTRENDERMODE_FILL_CLIP 4
#define FPDF_TEXTRENDERMODE_STROKE_CLIP 5
#define FPDF_TEXTRENDERMODE_FILL_STROKE_CLIP 6
#define FPDF_TEXTRENDERMODE_CLIP 7

// Search flags.
#define FPDF_MATCHCASE 0x00000001
#define FPDF_MATCHWHOLEWORD 0x00000002
#define FPDF_CONSECUTIVE 0x00000004

// Action types.
#define PDFACTION_UNSUPPORTED 0
#define PDFACTION_GOTO 1
#define PDFACTION_REMOTEGOTO 2
#define PDFACTION_URI 3
#define PDFACTION_LAUNCH 4
#define PDFACTION_EMBEDDEDGOTO 5

// Save flags.
#define FPDF_INCREMENTAL 1
#define FPDF_NO_INCREMENTAL 2
#define FPDF_REMOVE_SECURITY 3

// Annotation subtypes and colour types used here.
#define FPDF_ANNOT_UNKNOWN 0
#define FPDF_ANNOT_TEXT 1
#define FPDF_ANNOT_LINK 2
#define FPDF_ANNOT_FREETEXT 3
#define FPDF_ANNOT_SQUARE 5
#define FPDF_ANNOT_HIGHLIGHT 9
#define FPDF_ANNOT_UNDERLINE 10
#define FPDF_ANNOT_SQUIGGLY 11
#define FPDF_ANNOT_STRIKEOUT 12
#define FPDF_ANNOT_INK 15
#define FPDF_ANNOT_WIDGET 20
#define FPDFANNOT_COLORTYPE_Color 0
#define FPDFANNOT_COLORTYPE_InteriorColor 1

// Library.
void FPDF_InitLibraryWithConfig(const FPDF_LIBRARY_CONFIG* config);
void FPDF_DestroyLibrary(void);
unsigned long FPDF_GetLastError(void);

// Documents.
FPDF_DOCUMENT FPDF_LoadMemDocument64(const void* data_buf, size_t size, FPDF_BYTESTRING password);
FPDF_DOCUMENT FPDF_LoadCustomDocument(FPDF_FILEACCESS* pFileAccess, FPDF_BYTESTRING password);
FPDF_DOCUMENT FPDF_CreateNewDocument(void);
void FPDF_CloseDocument(FPDF_DOCUMENT document);
FPDF_BOOL FPDF_GetFileVersion(FPDF_DOCUMENT doc, int* fileVersion);
unsigned long FPDF_GetDocPermissions(FPDF_DOCUMENT document);
int FPDF_GetSecurityHandlerRevision(FPDF_DOCUMENT document);
FPDF_BOOL FPDF_DocumentHasValidCrossReferenceTable(FPDF_DOCUMENT document);
unsigned long FPDF_GetTrailerEnds(FPDF_DOCUMENT document, unsigned int* buffer, unsigned long length);
unsigned long FPDF_GetMetaText(FPDF_DOCUMENT document, FPDF_BYTESTRING tag, void* buffer,
                               unsigned long buflen);
unsigned long FPDF_GetPageLabel(FPDF_DOCUMENT document, int page_index, void* buffer,
                                unsigned long buflen);
int FPDF_GetPageCount(FPDF_DOCUMENT document);
FPDF_BOOL FPDF_GetPageSizeByIndexF(FPDF_DOCUMENT document, int page_index, FS_SIZEF* size);
FPDF_BOOL FPDF_SaveAsCopy(FPDF_DOCUMENT document, FPDF_FILEWRITE* pFileWrite, FPDF_DWORD flags);
FPDF_BOOL FPDF_SaveWithVersion(FPDF_DOCUMENT document, FPDF_FILEWRITE* pFileWrite, FPDF_DWORD flags,
                               int fileVersion);

// Page import and reordering.
FPDF_BOOL FPDF_ImportPages(FPDF_DOCUMENT dest_doc, FPDF_DOCUMENT src_doc, FPDF_BYTESTRING pagerange,
                           int index);
FPDF_BOOL FPDF_ImportPagesByIndex(FPDF_DOCUMENT dest_doc, FPDF_DOCUMENT src_doc, const int* page_indices,
                                  unsigned long length, int index);
FPDF_BOOL FPDF_CopyViewerPreferences(FPDF_DOCUMENT dest_doc, FPDF_DOCUMENT src_doc);
FPDF_BOOL FPDF_MovePages(FPDF_DOCUMENT document, const int* page_indices, unsigned long page_indices_len,
                         int dest_page_index);
FPDF_XOBJECT FPDF_NewXObjectFromPage(FPDF_DOCUMENT dest_doc, FPDF_DOCUMENT src_doc, int src_page_index);
void FPDF_CloseXObject(FPDF_XOBJECT xobject);
FPDF_PAGEOBJECT FPDF_NewFormObjectFromXObject(FPDF_XOBJECT xobject);

// Pages.
FPDF_PAGE FPDF_LoadPage(FPDF_DOCUMENT document, int page_index);
void FPDF_ClosePage(FPDF_PAGE page);
FPDF_PAGE FPDFPage_New(FPDF_DOCUMENT document, int page_index, double width, double height);
void FPDFPage_Delete(FPDF_DOCUMENT document, int page_index);
float FPDF_GetPageWidthF(FPDF_PAGE page);
float FPDF_GetPageHeightF(FPDF_PAGE page);
FPDF_BOOL FPDF_GetPageBoundingBox(FPDF_PAGE page, FS_RECTF* rect);
int FPDFPage_GetRotation(FPDF_PAGE page);
void FPDFPage_SetRotation(FPDF_PAGE page, int rotate);
FPDF_BOOL FPDFPage_GetMediaBox(FPDF_PAGE page, float* left, float* bottom, float* right, float* top);
FPDF_BOOL FPDFPage_GetCropBox(FPDF_PAGE page, float* left, float* bottom, float* right, float* top);
void FPDFPage_SetMediaBox(FPDF_PAGE page, float left, float bottom, float right, float top);
void FPDFPage_SetCropBox(FPDF_PAGE page, float left, float bottom, float right, float top);
FPDF_BOOL FPDFPage_HasTransparency(FPDF_PAGE page);
FPDF_BOOL FPDFPage_GenerateContent(FPDF_PAGE page);
#define FLAT_NORMALDISPLAY 0
int FPDFPage_Flatten(FPDF_PAGE page, int nFlag);

// Rendering and bitmaps.
void FPDF_RenderPageBitmap(FPDF_BITMAP bitmap, FPDF_PAGE page, int start_x, int start_y, int size_x,
                           int size_y, int rotate, int flags);
void FPDF_RenderPageBitmapWithMatrix(FPDF_BITMAP bitmap, FPDF_PAGE page, const FS_MATRIX* matrix,
                                     const FS_RECTF* clipping, int flags);
FPDF_BOOL FPDF_DeviceToPage(FPDF_PAGE page, int start_x, int start_y, int size_x, int size_y, int rotate,
                            int device_x, int device_y, double* page_x, double* page_y);
FPDF_BOOL FPDF_PageToDevice(FPDF_PAGE page, int start_x, int start_y, int size_x, int size_y, int rotate,
                            double page_x, double page_y, int* device_x, int* device_y);
FPDF_BITMAP FPDFBitmap_Create(int width, int height, int alpha);
FPDF_BITMAP FPDFBitmap_CreateEx(int width, int height, int format, void* first_scan, int stride);
int FPDFBitmap_GetFormat(FPDF_BITMAP bitmap);
FPDF_BOOL FPDFBitmap_FillRect(FPDF_BITMAP bitmap, int left, int top, int width, int height,
                              FPDF_DWORD color);
void* FPDFBitmap_GetBuffer(FPDF_BITMAP bitmap);
int FPDFBitmap_GetWidth(FPDF_BITMAP bitmap);
int FPDFBitmap_GetHeight(FPDF_BITMAP bitmap);
int FPDFBitmap_GetStride(FPDF_BITMAP bitmap);
void FPDFBitmap_Destroy(FPDF_BITMAP bitmap);

// Page objects.
int FPDFPage_CountObjects(FPDF_PAGE page);
FPDF_PAGEOBJECT FPDFPage_GetObject(FPDF_PAGE page, int index);
void FPDFPage_InsertObject(FPDF_PAGE page, FPDF_PAGEOBJECT page_object);
FPDF_BOOL FPDFPage_InsertObjectAtIndex(FPDF_PAGE page, FPDF_PAGEOBJECT page_object, size_t index);
FPDF_BOOL FPDFPage_RemoveObject(FPDF_PAGE page, FPDF_PAGEOBJECT page_object);
void FPDFPageObj_Destroy(FPDF_PAGEOBJECT page_object);
int FPDFPageObj_GetType(FPDF_PAGEOBJECT page_object);
FPDF_BOOL FPDFPageObj_HasTransparency(FPDF_PAGEOBJECT page_object);
FPDF_BOOL FPDFPageObj_GetBounds(FPDF_PAGEOBJECT page_object, float* left, float* bottom, float* right,
                                float* top);
FPDF_BOOL FPDFPageObj_GetRotatedBounds(FPDF_PAGEOBJECT page_object, FS_QUADPOINTSF* quad_points);
void FPDFPageObj_Transform(FPDF_PAGEOBJECT page_object, double a, double b, double c, double d, double e,
                           double f);
FPDF_BOOL FPDFPageObj_GetMatrix(FPDF_PAGEOBJECT page_object, FS_MATRIX* matrix);
FPDF_BOOL FPDFPageObj_SetMatrix(FPDF_PAGEOBJECT page_object, const FS_MATRIX* matrix);
void FPDFPageObj_SetBlendMode(FPDF_PAGEOBJECT page_object, FPDF_BYTESTRING blend_mode);
FPDF_BOOL FPDFPageObj_SetStrokeColor(FPDF_PAGEOBJECT page_object, unsigned int R, unsigned int G,
                                     unsigned int B, unsigned int A);
FPDF_BOOL FPDFPageObj_GetStrokeColor(FPDF_PAGEOBJECT page_object, unsigned int* R, unsigned int* G,
                                     unsigned int* B, unsigned int* A);
FPDF_BOOL FPDFPageObj_SetStrokeWidth(FPDF_PAGEOBJECT page_object, float width);
FPDF_BOOL FPDFPageObj_GetStrokeWidth(FPDF_PAGEOBJECT page_object, float* width);
FPDF_BOOL FPDFPageObj_SetFillColor(FPDF_PAGEOBJECT page_object, unsigned int R, unsigned int G,
                                   unsigned int B, unsigned int A);
FPDF_BOOL FPDFPageObj_GetFillColor(FPDF_PAGEOBJECT page_object, unsigned int* R, unsigned int* G,
                                   unsigned int* B, unsigned int* A);
FPDF_BOOL FPDFPageObj_GetIsActive(FPDF_PAGEOBJECT page_object, FPDF_BOOL* active);
FPDF_BOOL FPDFPageObj_SetIsActive(FPDF_PAGEOBJECT page_object, FPDF_BOOL active);
int FPDFPageObj_CountMarks(FPDF_PAGEOBJECT page_object);
FPDF_PAGEOBJECTMARK FPDFPageObj_GetMark(FPDF_PAGEOBJECT page_object, unsigned long index);
FPDF_PAGEOBJECTMARK FPDFPageObj_AddMark(FPDF_PAGEOBJECT page_object, FPDF_BYTESTRING name);
FPDF_BOOL FPDFPageObjMark_GetName(FPDF_PAGEOBJECTMARK mark, void* buffer, unsigned long buflen,
                                  unsigned long* out_buflen);
FPDF_BOOL FPDFPageObjMark_GetParamIntValue(FPDF_PAGEOBJECTMARK mark, FPDF_BYTESTRING key, int* out_value);
FPDF_BOOL FPDFPageObjMark_SetIntParam(FPDF_DOCUMENT document, FPDF_PAGEOBJECT page_object, FPDF_PAGEOBJECTMARK mark,
                                      FPDF_BYTESTRING key, int value);

// Form objects.
int FPDFFormObj_CountObjects(FPDF_PAGEOBJECT form_object);
FPDF_PAGEOBJECT FPDFFormObj_GetObject(FPDF_PAGEOBJECT form_object, unsigned long index);
FPDF_BOOL FPDFFormObj_RemoveObject(FPDF_PAGEOBJECT form_object, FPDF_PAGEOBJECT page_object);

// Paths.
FPDF_PAGEOBJECT FPDFPageObj_CreateNewPath(float x, float y);
FPDF_PAGEOBJECT FPDFPageObj_CreateNewRect(float x, float y, float w, float h);
FPDF_BOOL FPDFPath_MoveTo(FPDF_PAGEOBJECT path, float x, float y);
FPDF_BOOL FPDFPath_LineTo(FPDF_PAGEOBJECT path, float x, float y);
FPDF_BOOL FPDFPath_BezierTo(FPDF_PAGEOBJECT path, float x1, float y1, float x2, float y2, float x3,
                            float y3);
FPDF_BOOL FPDFPath_Close(FPDF_PAGEOBJECT path);
FPDF_BOOL FPDFPath_SetDrawMode(FPDF_PAGEOBJECT path, int fillmode, FPDF_BOOL stroke);
FPDF_BOOL FPDFPath_GetDrawMode(FPDF_PAGEOBJECT path, int* fillmode, FPDF_BOOL* stroke);
int FPDFPath_CountSegments(FPDF_PAGEOBJECT path);
FPDF_BOOL FPDFPathSegment_GetPoint(FPDF_PATHSEGMENT segment, float* x, float* y);
FPDF_CLIPPATH FPDFPageObj_GetClipPath(FPDF_PAGEOBJECT page_object);
int FPDFClipPath_CountPaths(FPDF_CLIPPATH clip_path);
int FPDFClipPath_CountPathSegments(FPDF_CLIPPATH clip_path, int path_index);
FPDF_PATHSEGMENT FPDFClipPath_GetPathSegment(FPDF_CLIPPATH clip_path, int path_index, int segment_index);

// Images.
FPDF_PAGEOBJECT FPDFPageObj_NewImageObj(FPDF_DOCUMENT document);
FPDF_BOOL FPDFImageObj_LoadJpegFile(FPDF_PAGE* pages, int count, FPDF_PAGEOBJECT image_object,
                                    FPDF_FILEACCESS* file_access);
FPDF_BOOL FPDFImageObj_LoadJpegFileInline(FPDF_PAGE* pages, int count, FPDF_PAGEOBJECT image_object,
                                          FPDF_FILEACCESS* file_access);
FPDF_BOOL FPDFImageObj_SetMatrix(FPDF_PAGEOBJECT image_object, double a, double b, double c, double d,
                                 double e, double f);
FPDF_BOOL FPDFImageObj_SetBitmap(FPDF_PAGE* pages, int count, FPDF_PAGEOBJECT image_object,
                                 FPDF_BITMAP bitmap);
FPDF_BITMAP FPDFImageObj_GetBitmap(FPDF_PAGEOBJECT image_object);
FPDF_BITMAP FPDFImageObj_GetRenderedBitmap(FPDF_DOCUMENT document, FPDF_PAGE page,
                                           FPDF_PAGEOBJECT image_object);
unsigned long FPDFImageObj_GetImageDataDecoded(FPDF_PAGEOBJECT image_object, void* buffer,
                                               unsigned long buflen);
unsigned long FPDFImageObj_GetImageDataRaw(FPDF_PAGEOBJECT image_object, void* buffer,
                                           unsigned long buflen);
int FPDFImageObj_GetImageFilterCount(FPDF_PAGEOBJECT image_object);
unsigned long FPDFImageObj_GetImageFilter(FPDF_PAGEOBJECT image_object, int index, void* buffer,
                                          unsigned long buflen);
FPDF_BOOL FPDFImageObj_GetImageMetadata(FPDF_PAGEOBJECT image_object, FPDF_PAGE page,
                                        FPDF_IMAGEOBJ_METADATA* metadata);
FPDF_BOOL FPDFImageObj_GetImagePixelSize(FPDF_PAGEOBJECT image_object, unsigned int* width,
                                         unsigned int* height);

// Text objects and fonts.
FPDF_PAGEOBJECT FPDFPageObj_NewTextObj(FPDF_DOCUMENT document, FPDF_BYTESTRING font, float font_size);
FPDF_PAGEOBJECT FPDFPageObj_CreateTextObj(FPDF_DOCUMENT document, FPDF_FONT font, float font_size);
FPDF_BOOL FPDFText_SetText(FPDF_PAGEOBJECT text_object, FPDF_WIDESTRING text);
FPDF_BOOL FPDFText_SetCharcodes(FPDF_PAGEOBJECT text_object, const uint32_t* charcodes, size_t count);
FPDF_FONT FPDFText_LoadFont(FPDF_DOCUMENT document, const uint8_t* data, uint32_t size, int font_type,
                            FPDF_BOOL cid);
FPDF_FONT FPDFText_LoadStandardFont(FPDF_DOCUMENT document, FPDF_BYTESTRING font);
void FPDFFont_Close(FPDF_FONT font);
FPDF_BOOL FPDFTextObj_GetFontSize(FPDF_PAGEOBJECT text, float* size);
int FPDFTextObj_GetTextRenderMode(FPDF_PAGEOBJECT text);
FPDF_BOOL FPDFTextObj_SetTextRenderMode(FPDF_PAGEOBJECT text, int render_mode);
unsigned long FPDFTextObj_GetText(FPDF_PAGEOBJECT text_object, FPDF_TEXTPAGE text_page, FPDF_WCHAR* buffer,
                                  unsigned long length);
FPDF_FONT FPDFTextObj_GetFont(FPDF_PAGEOBJECT text);
size_t FPDFFont_GetBaseFontName(FPDF_FONT font, char* buffer, size_t length);
size_t FPDFFont_GetFamilyName(FPDF_FONT font, char* buffer, size_t length);
int FPDFFont_GetFlags(FPDF_FONT font);
int FPDFFont_GetWeight(FPDF_FONT font);
FPDF_BOOL FPDFFont_GetItalicAngle(FPDF_FONT font, int* angle);
FPDF_BOOL FPDFFont_GetAscent(FPDF_FONT font, float font_size, float* ascent);
FPDF_BOOL FPDFFont_GetDescent(FPDF_FONT font, float font_size, float* descent);
FPDF_BOOL FPDFFont_GetGlyphWidth(FPDF_FONT font, uint32_t glyph, float font_size, float* width);
typedef struct fpdf_glyphpath_t__* FPDF_GLYPHPATH;
FPDF_GLYPHPATH FPDFFont_GetGlyphPath(FPDF_FONT font, uint32_t glyph, float font_size);
int FPDFGlyphPath_CountGlyphSegments(FPDF_GLYPHPATH glyphpath);
int FPDFFont_GetIsEmbedded(FPDF_FONT font);
FPDF_BOOL FPDFFont_GetFontData(FPDF_FONT font, uint8_t* buffer, size_t buflen, size_t* out_buflen);

// Text pages.
FPDF_TEXTPAGE FPDFText_LoadPage(FPDF_PAGE page);
void FPDFText_ClosePage(FPDF_TEXTPAGE text_page);
int FPDFText_CountChars(FPDF_TEXTPAGE text_page);
unsigned int FPDFText_GetUnicode(FPDF_TEXTPAGE text_page, int index);
FPDF_PAGEOBJECT FPDFText_GetTextObject(FPDF_TEXTPAGE text_page, int index);
int FPDFText_IsGenerated(FPDF_TEXTPAGE text_page, int index);
int FPDFText_IsHyphen(FPDF_TEXTPAGE text_page, int index);
int FPDFText_HasUnicodeMapError(FPDF_TEXTPAGE text_page, int index);
double FPDFText_GetFontSize(FPDF_TEXTPAGE text_page, int index);
unsigned long FPDFText_GetFontInfo(FPDF_TEXTPAGE text_page, int index, void* buffer, unsigned long buflen,
                                   int* flags);
int FPDFText_GetFontWeight(FPDF_TEXTPAGE text_page, int index);
FPDF_BOOL FPDFText_GetFillColor(FPDF_TEXTPAGE text_page, int index, unsigned int* R, unsigned int* G,
                                unsigned int* B, unsigned int* A);
FPDF_BOOL FPDFText_GetStrokeColor(FPDF_TEXTPAGE text_page, int index, unsigned int* R, unsigned int* G,
                                  unsigned int* B, unsigned int* A);
float FPDFText_GetCharAngle(FPDF_TEXTPAGE text_page, int index);
// Note the order: left, right, bottom, top.
FPDF_BOOL FPDFText_GetCharBox(FPDF_TEXTPAGE text_page, int index, double* left, double* right,
                              double* bottom, double* top);
FPDF_BOOL FPDFText_GetLooseCharBox(FPDF_TEXTPAGE text_page, int index, FS_RECTF* rect);
FPDF_BOOL FPDFText_GetMatrix(FPDF_TEXTPAGE text_page, int index, FS_MATRIX* matrix);
FPDF_BOOL FPDFText_GetCharOrigin(FPDF_TEXTPAGE text_page, int index, double* x, double* y);
int FPDFText_GetCharIndexAtPos(FPDF_TEXTPAGE text_page, double x, double y, double xTolerance,
                               double yTolerance);
int FPDFText_GetText(FPDF_TEXTPAGE text_page, int start_index, int count, unsigned short* result);
int FPDFText_CountRects(FPDF_TEXTPAGE text_page, int start_index, int count);
// Note the order: left, top, right, bottom.
FPDF_BOOL FPDFText_GetRect(FPDF_TEXTPAGE text_page, int rect_index, double* left, double* top,
                           double* right, double* bottom);
int FPDFText_GetBoundedText(FPDF_TEXTPAGE text_page, double left, double top, double right, double bottom,
                            unsigned short* buffer, int buflen);
int FPDFText_GetCharIndexFromTextIndex(FPDF_TEXTPAGE text_page, int nTextIndex);
int FPDFText_GetTextIndexFromCharIndex(FPDF_TEXTPAGE text_page, int nCharIndex);

// Search.
FPDF_SCHHANDLE FPDFText_FindStart(FPDF_TEXTPAGE text_page, FPDF_WIDESTRING findwhat, unsigned long flags,
                                  int start_index);
FPDF_BOOL FPDFText_FindNext(FPDF_SCHHANDLE handle);
FPDF_BOOL FPDFText_FindPrev(FPDF_SCHHANDLE handle);
int FPDFText_GetSchResultIndex(FPDF_SCHHANDLE handle);
int FPDFText_GetSchCount(FPDF_SCHHANDLE handle);
void FPDFText_FindClose(FPDF_SCHHANDLE handle);

// Web links found in the text.
FPDF_PAGELINK FPDFLink_LoadWebLinks(FPDF_TEXTPAGE text_page);
int FPDFLink_CountWebLinks(FPDF_PAGELINK link_page);
int FPDFLink_GetURL(FPDF_PAGELINK link_page, int link_index, unsigned short* buffer, int buflen);
int FPDFLink_CountRects(FPDF_PAGELINK link_page, int link_index);
// Note the order: left, top, right, bottom.
FPDF_BOOL FPDFLink_GetRect(FPDF_PAGELINK link_page, int link_index, int rect_index, double* left,
                           double* top, double* right, double* bottom);
FPDF_BOOL FPDFLink_GetTextRange(FPDF_PAGELINK link_page, int link_index, int* start_char_index,
                                int* char_count);
void FPDFLink_CloseWebLinks(FPDF_PAGELINK link_page);

// Link annotations, actions, destinations and bookmarks.
FPDF_LINK FPDFLink_GetLinkAtPoint(FPDF_PAGE page, double x, double y);
FPDF_BOOL FPDFLink_Enumerate(FPDF_PAGE page, int* start_pos, FPDF_LINK* link_annot);
FPDF_DEST FPDFLink_GetDest(FPDF_DOCUMENT document, FPDF_LINK link);
FPDF_ACTION FPDFLink_GetAction(FPDF_LINK link);
FPDF_BOOL FPDFLink_GetAnnotRect(FPDF_LINK link_annot, FS_RECTF* rect);
int FPDFLink_CountQuadPoints(FPDF_LINK link_annot);
FPDF_BOOL FPDFLink_GetQuadPoints(FPDF_LINK link_annot, int quad_index, FS_QUADPOINTSF* quad_points);
unsigned long FPDFAction_GetType(FPDF_ACTION action);
FPDF_DEST FPDFAction_GetDest(FPDF_DOCUMENT document, FPDF_ACTION action);
unsigned long FPDFAction_GetFilePath(FPDF_ACTION action, void* buffer, unsigned long buflen);
unsigned long FPDFAction_GetURIPath(FPDF_DOCUMENT document, FPDF_ACTION action, void* buffer,
                                    unsigned long buflen);
int FPDFDest_GetDestPageIndex(FPDF_DOCUMENT document, FPDF_DEST dest);
unsigned long FPDFDest_GetView(FPDF_DEST dest, unsigned long* pNumParams, FS_FLOAT* pParams);
FPDF_BOOL FPDFDest_GetLocationInPage(FPDF_DEST dest, FPDF_BOOL* hasXVal, FPDF_BOOL* hasYVal,
                                     FPDF_BOOL* hasZoomVal, FS_FLOAT* x, FS_FLOAT* y, FS_FLOAT* zoom);
FPDF_DEST FPDF_GetNamedDestByName(FPDF_DOCUMENT document, FPDF_BYTESTRING name);
FPDF_BOOKMARK FPDFBookmark_GetFirstChild(FPDF_DOCUMENT document, FPDF_BOOKMARK bookmark);
FPDF_BOOKMARK FPDFBookmark_GetNextSibling(FPDF_DOCUMENT document, FPDF_BOOKMARK bookmark);
unsigned long FPDFBookmark_GetTitle(FPDF_BOOKMARK bookmark, void* buffer, unsigned long buflen);
int FPDFBookmark_GetCount(FPDF_BOOKMARK bookmark);
FPDF_DEST FPDFBookmark_GetDest(FPDF_DOCUMENT document, FPDF_BOOKMARK bookmark);
FPDF_ACTION FPDFBookmark_GetAction(FPDF_BOOKMARK bookmark);

// Annotations.
int FPDFPage_GetAnnotCount(FPDF_PAGE page);
FPDF_ANNOTATION FPDFPage_GetAnnot(FPDF_PAGE page, int index);
FPDF_ANNOTATION FPDFPage_CreateAnnot(FPDF_PAGE page, FPDF_ANNOTATION_SUBTYPE subtype);
FPDF_BOOL FPDFPage_RemoveAnnot(FPDF_PAGE page, int index);
void FPDFPage_CloseAnnot(FPDF_ANNOTATION annot);
FPDF_ANNOTATION_SUBTYPE FPDFAnnot_GetSubtype(FPDF_ANNOTATION annot);
FPDF_BOOL FPDFAnnot_GetRect(FPDF_ANNOTATION annot, FS_RECTF* rect);
FPDF_BOOL FPDFAnnot_SetRect(FPDF_ANNOTATION annot, const FS_RECTF* rect);
FPDF_BOOL FPDFAnnot_SetColor(FPDF_ANNOTATION annot, FPDFANNOT_COLORTYPE type, unsigned int R,
                             unsigned int G, unsigned int B, unsigned int A);
FPDF_BOOL FPDFAnnot_AppendAttachmentPoints(FPDF_ANNOTATION annot, const FS_QUADPOINTSF* quad_points);
FPDF_BOOL FPDFAnnot_SetStringValue(FPDF_ANNOTATION annot, FPDF_BYTESTRING key, FPDF_WIDESTRING value);
unsigned long FPDFAnnot_GetStringValue(FPDF_ANNOTATION annot, FPDF_BYTESTRING key, FPDF_WCHAR* buffer,
                                       unsigned long buflen);
int FPDFAnnot_GetFlags(FPDF_ANNOTATION annot);
FPDF_BOOL FPDFAnnot_SetFlags(FPDF_ANNOTATION annot, int flags);
FPDF_LINK FPDFAnnot_GetLink(FPDF_ANNOTATION annot);
FPDF_BOOL FPDFAnnot_HasKey(FPDF_ANNOTATION annot, FPDF_BYTESTRING key);
FPDF_ANNOTATION FPDFAnnot_GetLinkedAnnot(FPDF_ANNOTATION annot, FPDF_BYTESTRING key);
#define FPDF_ANNOT_APPEARANCEMODE_NORMAL 0
unsigned long FPDFAnnot_GetAP(FPDF_ANNOTATION annot, int appearanceMode, FPDF_WCHAR* buffer, unsigned long buflen);

// Form fields: drawn only through a form-fill environment of their document.
FPDF_FORMHANDLE FPDFDOC_InitFormFillEnvironment(FPDF_DOCUMENT document, FPDF_FORMFILLINFO* formInfo);
#define FORMTYPE_NONE 0
int FPDF_GetFormType(FPDF_DOCUMENT document);
void FPDFDOC_ExitFormFillEnvironment(FPDF_FORMHANDLE hHandle);
void FORM_OnAfterLoadPage(FPDF_PAGE page, FPDF_FORMHANDLE hHandle);
void FORM_OnBeforeClosePage(FPDF_PAGE page, FPDF_FORMHANDLE hHandle);
void FPDF_FFLDraw(FPDF_FORMHANDLE hHandle, FPDF_BITMAP bitmap, FPDF_PAGE page, int start_x, int start_y,
                  int size_x, int size_y, int rotate, int flags);
void FPDF_SetFormFieldHighlightAlpha(FPDF_FORMHANDLE hHandle, unsigned char alpha);

// Signatures already in a document.
int FPDF_GetSignatureCount(FPDF_DOCUMENT document);
FPDF_SIGNATURE FPDF_GetSignatureObject(FPDF_DOCUMENT document, int index);
unsigned long FPDFSignatureObj_GetContents(FPDF_SIGNATURE signature, void* buffer, unsigned long length);
unsigned long FPDFSignatureObj_GetByteRange(FPDF_SIGNATURE signature, int* buffer, unsigned long length);
unsigned long FPDFSignatureObj_GetSubFilter(FPDF_SIGNATURE signature, char* buffer, unsigned long length);

}  // extern "C"
