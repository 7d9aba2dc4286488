-- Demo rows of the central database. The demo script points the addresses at the ANAF stand-in.
INSERT INTO servicii_web_anaf (serviciu_web, base_url_serviciu_web) VALUES
    ('contribuabili', 'https://127.0.0.1:8446/api/PlatitorTvaRest/v9/tva');

INSERT INTO oauth2_api_anaf_qor (cid, cs, cbu) VALUES
    ('tarvelo-app', 'tarvelo-app-secret', 'https://127.0.0.1:8447/callback');

INSERT INTO e_transp_ptf (cod_ptf, den_ptf) VALUES
    ('1', 'Petea (HU)'), ('2', 'Borș (HU)'), ('3', 'Vărșand (HU)'), ('4', 'Nădlac (HU)');
INSERT INTO e_transp_birou_vamal (cod_birou_vamal, den_birou_vamal) VALUES
    ('ROBU10', 'BVI Bucuresti'), ('ROCJ10', 'BVI Cluj'), ('ROTM80', 'BVF Timisoara');
INSERT INTO e_transp_tip_confirm (cod_tip_confirm, den_tip_confirm) VALUES
    ('10', 'Confirmat'), ('20', 'Confirmat partial'), ('30', 'Infirmat');
