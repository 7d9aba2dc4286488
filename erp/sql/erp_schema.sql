-- ERP database (qor1): the tables and views Tarvelo reads and writes.
-- Columns that Tarvelo does not list have defaults or accept NULL, so a row giving only the listed
-- columns is always accepted.

CREATE TABLE emitent (
    emitent            varchar(100) PRIMARY KEY,
    operator_parola    varchar(256),
    emitent_corect     varchar(100),
    este_emitent       boolean DEFAULT false,
    este_operator      boolean DEFAULT true,
    functie            varchar(100),
    em_email_adr       varchar(200),
    tel_mobil          varchar(50),
    lang               varchar(10),
    discontinued       boolean DEFAULT false,
    data_ins           timestamp DEFAULT clock_timestamp()
);

CREATE TABLE eu (
    cod_cci            varchar(20) NOT NULL,
    eu                 varchar(200),
    atribut_fiscal     varchar(10),
    reg_comert_nr      varchar(50),
    tara               varchar(2) DEFAULT 'RO',
    localit            varchar(100),
    adresa             varchar(200),
    strada             varchar(100),
    cod_postal_adresa  varchar(20),
    telefon            varchar(50),
    email_adr          varchar(200)
);

CREATE TABLE oauth2_client (
    cid     text PRIMARY KEY,
    cs      text,
    at      text,
    rt      text,
    emitent text,
    obs     text
);

-- Which OAuth client an operator uses for a service ("eFact", "eTransp").
CREATE TABLE oauth2_client_serviciu_em (
    emitent  text,
    serviciu text,
    cid      text NOT NULL
);
CREATE INDEX oauth2_client_serviciu_em_emitent ON oauth2_client_serviciu_em (emitent, serviciu, cid);

-- Certificates the company allows. No unique key: a serial standing twice is ambiguous and
-- the client refuses it, which only works if the table can hold it.
CREATE TABLE digital_certif (
    serial_no varchar(100) NOT NULL,
    obs       text
);
CREATE INDEX digital_certif_serial_no ON digital_certif (serial_no);

-- Partners and documents of the ERP.
CREATE TABLE partener (
    partener    varchar(100) PRIMARY KEY,
    cod_fiscal  varchar(30),
    tara        varchar(2) DEFAULT 'RO',
    localit     varchar(100),
    adresa      varchar(200)
);

CREATE TABLE doc (
    data_doc    date NOT NULL,
    tip_doc     varchar(7) NOT NULL,
    nr_doc      varchar(15) NOT NULL,
    val_mon     numeric(18, 2),
    moneda      varchar(3) DEFAULT 'RON',
    partener    varchar(100),
    cod_fiscal_partener varchar(30),
    data_scadenta date,
    emitent     varchar(100),
    sursa       text,
    obs         text,
    data_ins    timestamp DEFAULT clock_timestamp(),
    PRIMARY KEY (data_doc, tip_doc, nr_doc)
);

CREATE TABLE doc_linii (
    data_doc    date NOT NULL,
    tip_doc     varchar(7) NOT NULL,
    nr_doc      varchar(15) NOT NULL,
    nr_linie    integer NOT NULL,
    articol     varchar(200),
    um          varchar(10) DEFAULT 'H87',
    cantitate   numeric(18, 4) DEFAULT 1,
    pret        numeric(18, 4) DEFAULT 0,
    cota_tva    numeric(5, 2) DEFAULT 19,
    PRIMARY KEY (data_doc, tip_doc, nr_doc, nr_linie),
    FOREIGN KEY (data_doc, tip_doc, nr_doc) REFERENCES doc ON DELETE CASCADE
);

-- Upload record of an invoice the company sent, one row per ERP document.
CREATE TABLE anaf_e_fact (
    data_doc        date NOT NULL,
    tip_doc         varchar(7) NOT NULL,
    nr_doc          varchar(15) NOT NULL,
    data_incarcare  text,
    index_incarcare text,
    err_incarcare   text,
    stare           text,
    data_stare      timestamp,
    PRIMARY KEY (data_doc, tip_doc, nr_doc)
);
CREATE INDEX anaf_e_fact_index_incarcare ON anaf_e_fact (index_incarcare);
CREATE INDEX anaf_e_fact_data_nr ON anaf_e_fact (data_doc, nr_doc);

-- Every downloaded SPV message, keyed as SPV names it.
CREATE TABLE anaf_e_fact_msg_toate (
    msg_data_creare         text NOT NULL,
    msg_id                  text NOT NULL,
    msg_cif                 text,
    msg_index_incarcare     text,
    msg_detalii             text,
    msg_tip                 text,
    msg_factura_xml         text,
    msg_semnatura_xml       text,
    msg_zip                 bytea,
    data_ins_qor            timestamp,
    err_ins_qor             text,
    obs_msg                 text,
    data_doc_xml            date,
    nr_doc_xml              text,
    type_code_doc_xml       varchar(7),
    partener_xml            text,
    val_cu_tva_mon_xml      numeric,
    val_rotunjire_plata_xml numeric,
    PRIMARY KEY (msg_data_creare, msg_id)
);
CREATE INDEX anaf_e_fact_msg_toate_tip ON anaf_e_fact_msg_toate (msg_tip, msg_data_creare);
CREATE INDEX anaf_e_fact_msg_toate_index ON anaf_e_fact_msg_toate (msg_index_incarcare);

-- The older store of received supplier invoices, kept in step by the retrieval run.
CREATE TABLE anaf_e_fact_furn_msg (
    msg_data_creare     text NOT NULL,
    msg_id              text NOT NULL,
    msg_cif             text,
    msg_index_incarcare text,
    msg_detalii         text,
    msg_tip             text,
    msg_xml             text,
    msg_zip             bytea,
    data_ins_qor        timestamp,
    err_ins_qor         text,
    PRIMARY KEY (msg_data_creare, msg_id)
);

-- Messages that belong to an ERP document of the company. A message counts as present when a row
-- with its mesaj_data and id_mesaj exists; one message may belong to more than one upload record.
CREATE TABLE anaf_e_fact_msg (
    data_doc        date,
    tip_doc         varchar(7),
    nr_doc          varchar(15),
    id_mesaj        text,
    mesaj           text,
    mesaj_detalii   text,
    mesaj_tip       text,
    mesaj_semnatura text,
    mesaj_data      text,
    index_incarcare text,
    mesaj_zip       bytea
);
CREATE INDEX anaf_e_fact_msg_key ON anaf_e_fact_msg (mesaj_data, id_mesaj);

-- Which purchase document the import of a received invoice created, by the message's key. Kept
-- apart from the message tables so that the link outlives a message row deleted from the list (a
-- message downloaded again still shows its document and is not imported twice); deleting the
-- document in the ERP removes the link, and the invoice may then be imported again.
CREATE TABLE anaf_e_fact_msg_doc (
    msg_data_creare text NOT NULL,
    msg_id          text NOT NULL,
    data_doc        date NOT NULL,
    tip_doc         varchar(7) NOT NULL,
    nr_doc          varchar(15) NOT NULL,
    emitent         varchar(100),
    cand            timestamp DEFAULT clock_timestamp(),
    PRIMARY KEY (msg_data_creare, msg_id),
    FOREIGN KEY (data_doc, tip_doc, nr_doc) REFERENCES doc ON DELETE CASCADE
);

CREATE TABLE anaf_e_transp_actiuni (
    id                 serial PRIMARY KEY,
    data_doc           date NOT NULL,
    tip_doc            varchar(7) NOT NULL,
    nr_doc             varchar(15) NOT NULL,
    scv                integer NOT NULL,
    cand               timestamp DEFAULT clock_timestamp(),
    actiune            varchar(37) NOT NULL,
    err_incarcare      text,
    data_incarcare     timestamp,
    index_incarcare    text,
    uit                text,
    xml_e_transp       text,
    err_stare          text,
    data_stare         timestamp,
    stare              varchar(37),
    nr_auto            text,
    nr_remorca_1       text,
    nr_remorca_2       text,
    data_modif_vehicul timestamp,
    obs_modif_vehicul  varchar(200)
);
CREATE INDEX anaf_e_transp_actiuni_doc ON anaf_e_transp_actiuni (data_doc, tip_doc, nr_doc, scv, cand);

CREATE TABLE anaf_inf_cui (
    data_interogare date NOT NULL,
    cui             text NOT NULL,
    raspuns_anaf    text,
    PRIMARY KEY (data_interogare, cui)
);

-- The answer as JSON, or NULL when it is not JSON: a stored answer must never break the view.
CREATE FUNCTION o_try_jsonb(p text) RETURNS jsonb LANGUAGE plpgsql IMMUTABLE AS $$
BEGIN
    RETURN p::jsonb;
EXCEPTION WHEN others THEN
    RETURN NULL;
END $$;

-- A JSON boolean as boolean; anything else (absent, text, number) as NULL.
CREATE FUNCTION o_json_bool(p jsonb) RETURNS boolean LANGUAGE sql IMMUTABLE AS $$
    SELECT CASE WHEN jsonb_typeof(p) = 'boolean' THEN p::text::boolean END
$$;

CREATE VIEW view_anaf_inf_cui AS
SELECT a.data_interogare, a.cui,
       j #>> '{date_generale,cui}'                        AS cui_anaf,
       j #>> '{date_generale,stare_inregistrare}'         AS stare_inregistrare,
       o_json_bool(j #> '{inregistrare_scop_Tva,scpTVA}')   AS platitor_tva,
       o_json_bool(j #> '{inregistrare_RTVAI,statusTvaIncasare}') AS tva_la_incasare,
       o_json_bool(j #> '{stare_inactiv,statusInactivi}')   AS inactivat,
       o_json_bool(j #> '{date_generale,statusRO_e_Factura}') AS inrolat_registru_efact
  FROM anaf_inf_cui a
  LEFT JOIN LATERAL (SELECT o_try_jsonb(a.raspuns_anaf) -> 'found' -> 0 AS j) r ON true;

-- One row per stored message, with the ERP document it belongs to:
--  * a received invoice ("FACTURA PRIMITA") belongs to the purchase document its import created,
--    recorded in anaf_e_fact_msg_doc by the import functions;
--  * every other message (a sent invoice, its error report, a buyer message) belongs to the sales
--    document uploaded under the message's upload index (anaf_e_fact.index_incarcare); should the
--    ERP hold the same index twice, the newest document is taken, so there is still one row.
CREATE VIEW view_anaf_e_fact_msg_toate AS
SELECT t.msg_data_creare, t.msg_id, t.msg_cif, t.msg_index_incarcare, t.msg_detalii, t.msg_tip,
       t.data_doc_xml, t.nr_doc_xml, t.partener_xml, t.type_code_doc_xml,
       t.val_cu_tva_mon_xml, t.val_rotunjire_plata_xml, t.data_ins_qor,
       d.data_doc AS data_doc_qor, d.tip_doc AS tip_doc_qor, d.nr_doc AS nr_doc_qor
  FROM anaf_e_fact_msg_toate t
  LEFT JOIN LATERAL (
        SELECT l.data_doc, l.tip_doc, l.nr_doc
          FROM anaf_e_fact_msg_doc l
         WHERE t.msg_tip = 'FACTURA PRIMITA'
           AND l.msg_data_creare = t.msg_data_creare AND l.msg_id = t.msg_id
        UNION ALL
        (SELECT a.data_doc, a.tip_doc, a.nr_doc
           FROM anaf_e_fact a
          WHERE t.msg_tip IS DISTINCT FROM 'FACTURA PRIMITA'
            AND a.index_incarcare = t.msg_index_incarcare
          ORDER BY a.data_doc DESC, a.tip_doc DESC, a.nr_doc DESC
          LIMIT 1)
        LIMIT 1) d ON true;

CREATE VIEW view_anaf_e_fact_msg_toate_extins AS
SELECT v.*, t.msg_factura_xml, t.msg_semnatura_xml, t.msg_zip, t.err_ins_qor
  FROM view_anaf_e_fact_msg_toate v
  JOIN anaf_e_fact_msg_toate t ON t.msg_data_creare = v.msg_data_creare AND t.msg_id = v.msg_id;
