-- Central database (qor_gen): outside service addresses, the application's OAuth registration and
-- the e-Transport reference lists.

CREATE TABLE servicii_web_anaf (
    serviciu_web          varchar(100) PRIMARY KEY,
    base_url_serviciu_web text
);

CREATE TABLE oauth2_api_anaf_qor (
    cid text,
    cs  text,
    cbu text
);

CREATE TABLE e_transp_ptf (
    cod_ptf varchar(2) PRIMARY KEY,
    den_ptf text
);

CREATE TABLE e_transp_birou_vamal (
    cod_birou_vamal varchar(6) PRIMARY KEY,
    den_birou_vamal text
);

CREATE TABLE e_transp_tip_confirm (
    cod_tip_confirm varchar(2) PRIMARY KEY,
    den_tip_confirm text
);
