#pragma once
// Whether file bytes are an attached signature's envelope (.p7m): signed CMS
// data with the signed content inside.

#include <QByteArray>

bool isSignedCmsEnvelope(const QByteArray& bytes);
