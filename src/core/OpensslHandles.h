#pragma once
// Owners that free OpenSSL objects on every return path.

#include <openssl/bio.h>
#include <openssl/bn.h>
#include <openssl/cms.h>
#include <openssl/evp.h>
#include <openssl/pkcs12.h>
#include <openssl/x509.h>

#include "HandleOwner.h"

namespace openssl {

using Bio = HandleOwner<BIO, BIO_free_all>;
using Certificate = HandleOwner<X509, X509_free>;
using Key = HandleOwner<EVP_PKEY, EVP_PKEY_free>;
using Pkcs12 = HandleOwner<PKCS12, PKCS12_free>;
using Cms = HandleOwner<CMS_ContentInfo, CMS_ContentInfo_free>;
using BigNumber = HandleOwner<BIGNUM, BN_free>;

}  // namespace openssl
