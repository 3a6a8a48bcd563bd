// Fortran interface of the LAPACK and BLAS routines the library calls.
//
// Every argument goes by reference; arrays are column-major with the leading
// dimension given. Character arguments carry a hidden length argument of
// type size_t at the end of the list, as gfortran passes them. `complex`
// has the layout of COMPLEX*16 (two doubles, real part first).
#pragma once

#include <cstddef>

#include "numeric/types.h"

extern "C" {

// LAPACK
void dgeev_(const char *jobvl, const char *jobvr, const int *n, double *a, const int *lda, double *wr,
            double *wi, double *vl, const int *ldvl, double *vr, const int *ldvr, double *work,
            const int *lwork, int *info, std::size_t jobvl_len, std::size_t jobvr_len);
void zgeev_(const char *jobvl, const char *jobvr, const int *n, complex *a, const int *lda, complex *w,
            complex *vl, const int *ldvl, complex *vr, const int *ldvr, complex *work, const int *lwork,
            double *rwork, int *info, std::size_t jobvl_len, std::size_t jobvr_len);
void dsyev_(const char *jobz, const char *uplo, const int *n, double *a, const int *lda, double *w,
            double *work, const int *lwork, int *info, std::size_t jobz_len, std::size_t uplo_len);
void dgetrf_(const int *m, const int *n, double *a, const int *lda, int *ipiv, int *info);
void dgetrs_(const char *trans, const int *n, const int *nrhs, const double *a, const int *lda,
             const int *ipiv, double *b, const int *ldb, int *info, std::size_t trans_len);
void dgetri_(const int *n, double *a, const int *lda, const int *ipiv, double *work, const int *lwork,
             int *info);
void zgetrf_(const int *m, const int *n, complex *a, const int *lda, int *ipiv, int *info);
void zgetri_(const int *n, complex *a, const int *lda, const int *ipiv, complex *work, const int *lwork,
             int *info);
void zgetrs_(const char *trans, const int *n, const int *nrhs, const complex *a, const int *lda,
             const int *ipiv, complex *b, const int *ldb, int *info, std::size_t trans_len);
void dgehrd_(const int *n, const int *ilo, const int *ihi, double *a, const int *lda, double *tau,
             double *work, const int *lwork, int *info);
void dorghr_(const int *n, const int *ilo, const int *ihi, double *a, const int *lda, const double *tau,
             double *work, const int *lwork, int *info);
void dgesv_(const int *n, const int *nrhs, double *a, const int *lda, int *ipiv, double *b, const int *ldb,
            int *info);

// Schur forms and the Lyapunov and Sylvester equations on them
void dgebal_(const char *job, const int *n, double *a, const int *lda, int *ilo, int *ihi, double *scale,
             int *info, std::size_t job_len);
void dgees_(const char *jobvs, const char *sort, int (*select)(const double *, const double *),
            const int *n, double *a, const int *lda, int *sdim, double *wr, double *wi, double *vs,
            const int *ldvs, double *work, const int *lwork, int *bwork, int *info, std::size_t jobvs_len,
            std::size_t sort_len);
void dtrsyl_(const char *trana, const char *tranb, const int *isgn, const int *m, const int *n,
             const double *a, const int *lda, const double *b, const int *ldb, double *c,
             const int *ldc, double *scale, int *info, std::size_t trana_len, std::size_t tranb_len);
void dtrevc_(const char *side, const char *howmny, int *select, const int *n, const double *t,
             const int *ldt, double *vl, const int *ldvl, double *vr, const int *ldvr, const int *mm,
             int *m, double *work, int *info, std::size_t side_len, std::size_t howmny_len);
void dtrsna_(const char *job, const char *howmny, const int *select, const int *n, const double *t,
             const int *ldt, const double *vl, const int *ldvl, const double *vr, const int *ldvr,
             double *s, double *sep, const int *mm, int *m, double *work, const int *ldwork, int *iwork,
             int *info, std::size_t job_len, std::size_t howmny_len);
void dpotrf_(const char *uplo, const int *n, double *a, const int *lda, int *info, std::size_t uplo_len);
// SLICOT: op(A)^T X + X op(A) = scale C on the Schur form of A (continuous time)
void sb03md_(const char *dico, const char *job, const char *fact, const char *trana, const int *n,
             double *a, const int *lda, double *u, const int *ldu, double *c, const int *ldc,
             double *scale, double *sep, double *ferr, double *wr, double *wi, int *iwork,
             double *dwork, const int *ldwork, int *info, std::size_t dico_len, std::size_t job_len,
             std::size_t fact_len, std::size_t trana_len);

// Reports an illegal argument of a LAPACK routine. The program supplies its
// own (numeric/linalg.cpp): the failure is reported and the run ends with
// status 1.
void xerbla_(const char *srname, const int *info, std::size_t srname_len);

// BLAS
void daxpy_(const int *n, const double *alpha, const double *x, const int *incx, double *y,
            const int *incy);
void dcopy_(const int *n, const double *x, const int *incx, double *y, const int *incy);
double ddot_(const int *n, const double *x, const int *incx, const double *y, const int *incy);
double dnrm2_(const int *n, const double *x, const int *incx);
void dscal_(const int *n, const double *alpha, double *x, const int *incx);
int idamax_(const int *n, const double *x, const int *incx);
void dgemm_(const char *transa, const char *transb, const int *m, const int *n, const int *k,
            const double *alpha, const double *a, const int *lda, const double *b, const int *ldb,
            const double *beta, double *c, const int *ldc, std::size_t transa_len, std::size_t transb_len);

}  // extern "C"
