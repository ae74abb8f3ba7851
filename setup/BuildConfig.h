// Build-time choices of the setup program, in one place to check before a release.
// Each can be overridden from the compiler command line (-DNAME=value); the defaults suit test builds.
#pragma once

// Edition label: follows "4.4.5.5" directly in the welcome and finish texts, so it is either empty or
// begins with a space, e.g. -DQV_EDITION_LABEL="\" Home Edition\"".
#ifndef QV_EDITION_LABEL
#define QV_EDITION_LABEL ""
#endif

// Host name of the product web site; the "?" button beside the portable check box opens its help page.
// The default lies under the reserved .example domain so that no test build points at a real site.
#ifndef QV_PRODUCT_SITE_HOST
#define QV_PRODUCT_SITE_HOST "www.quorvale.example"
#endif

// Root address of the product web site, without a trailing slash; the help paths are appended to it.
#ifndef QV_PRODUCT_SITE_ROOT
#define QV_PRODUCT_SITE_ROOT "https://" QV_PRODUCT_SITE_HOST
#endif
