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

}  // extern "C"
