#pragma once
// The kind of signature. Travels as a plain integer in the worker JSON, so
// numbers outside the named values are carried as they are.

enum class SignatureMode : int {
  DetachedCms = 0,         // detached CMS (CAdES-BES), DER, usually ".sig"
  AttachedCms = 1,         // the content inside the CMS structure, usually ".p7m"
  CadesT = 2,              // with a time stamp; refused when signing
  StampedPdfDetached = 3,  // a stamped PDF copy signed like DetachedCms
  EmbeddedPdf = 4,         // signature embedded by an incremental update, ".signed.pdf"
};
